// Collects the reports of scans: the callbacks hosts pass to the walk, in
// both conventions, routed by the user value to the recorder that started
// the scan so that scans may run side by side.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "kvserver.h"

namespace kv::test {

struct ScanReport {
  std::string path;
  int32_t detected = 0;
  bool has_info = false;
  uint32_t pest_id = 0;
  uint32_t pvt = 0;
  std::string file_name;  // the record's
  std::string pest_name;
  int32_t size_match = 0;
  int32_t user_value = 0;
};

using ReleaseRecord = int32_t(KV_CDECL*)(_PEST_INFORMATION*);

class ScanRecorder {
 public:
  // Records are released with `release` once copied.
  explicit ScanRecorder(ReleaseRecord release);
  ~ScanRecorder();
  ScanRecorder(const ScanRecorder&) = delete;
  ScanRecorder& operator=(const ScanRecorder&) = delete;

  // The user value that routes a scan's reports here.
  int32_t user_value() const { return user_value_; }
  static int32_t KV_CDECL Callback(char* path, int32_t detected, _PEST_INFORMATION* info,
                                   int32_t user_value);
  static int32_t KV_STDCALL StdcallCallback(char* path, int32_t detected, _PEST_INFORMATION* info,
                                            int32_t user_value);

  // What the callback returns for a report (1 unless set).
  void set_answer(std::function<int32_t(const ScanReport&)> answer);

  std::vector<ScanReport> reports() const;
  std::vector<std::string> paths() const;
  // The reports whose path ends with `suffix`.
  std::vector<ScanReport> Ending(const std::string& suffix) const;

  // End notifications (null path) seen by any recorder's callback so far.
  static int EndNotifications();
  // Waits until EndNotifications() reaches `count`; false after `seconds`.
  static bool WaitForEndNotifications(int count, int seconds);

 private:
  int32_t Record(char* path, int32_t detected, _PEST_INFORMATION* info);

  ReleaseRecord release_;
  int32_t user_value_;
  mutable std::mutex mutex_;
  std::vector<ScanReport> reports_;
  std::function<int32_t(const ScanReport&)> answer_;
};

}  // namespace kv::test
