// What a scan needs from its caller while it runs: where to report, the
// pause gate and stop request, and the settings read afresh for every file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "database/pest_database.h"
#include "exclusions/exclusion_list.h"
#include "kvserver.h"
#include "scan/file_masks.h"
#include "scan/unzip_library.h"

namespace kv {

// Report names never exceed the hosts' 4,096-byte path buffers.
inline constexpr size_t kMaxReportedPathLength = 4095;
// Stands in the middle of a name cut to fit; '<' and '>' are never part of
// a Windows file name, so the marker cannot be mistaken for one.
inline constexpr char kCutMarker[] = "<...>";

// `name` if it fits kMaxReportedPathLength, else its start and its end
// around kCutMarker, kMaxReportedPathLength characters in all.
std::string CutToFit(const std::string& name);

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

// How far one archive found by the walk may take the scan, nested archives
// included. Past a bound members are still reported, undetected, but
// nothing more is extracted or opened.
struct ArchiveLimits {
  // Archives opened one inside the other, the walk's own archive being the
  // first: a member that is an archive at this depth is reported but not
  // opened.
  int max_depth = 16;
  // Members listed, over every level.
  uint64_t max_members = 200'000;
  // Bytes extracted into memory, over every level.
  uint64_t max_extracted_bytes = uint64_t{4} << 30;
};

// Everything a walk reads besides its target; owned by the caller.
struct ScanServices {
  PestDatabase& database;
  ExclusionList& exclusions;
  const FileMasks& masks;
  ScanControl& control;
  const UnzipLibrary& unzip;  // archives are opened only when it is ready
  ArchiveLimits archive_limits = {};
};

}  // namespace kv
