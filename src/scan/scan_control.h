// What a scan needs from its caller while it runs: where to report, the
// pause gate and stop request, and the settings read afresh for every file.
#pragma once

#include <cstdint>

#include "database/pest_database.h"
#include "exclusions/exclusion_list.h"
#include "kvserver.h"
#include "scan/file_masks.h"

namespace kv {

// The host's callbacks of one scan. The record handed over belongs to the
// host from then on.
struct ScanTarget {
  ScanCallback callback = nullptr;
  ScanCallbackStdcall stdcall_callback = nullptr;
  int32_t user_value = 0;

  // Calls the callback, or when it is null the stdcall one. False when the
  // callback called returned 0: the current folder (or archive) ends. With
  // no callback the record is released here and the scan goes on.
  bool Report(char* path, _PEST_INFORMATION* info) const;
};

class ScanControl {
 public:
  virtual ~ScanControl() = default;
  // Returns once the scan may go on (at once unless paused).
  virtual void WaitWhilePaused() = 0;
  // True once the host asked every running scan to end.
  virtual bool StopRequested() const = 0;
  virtual int32_t ScanMode() const = 0;
  virtual uint32_t MaxScanFileSize() const = 0;
};

// Everything a walk reads besides its target; owned by the caller.
struct ScanServices {
  PestDatabase& database;
  ExclusionList& exclusions;
  const FileMasks& masks;
  ScanControl& control;
};

}  // namespace kv
