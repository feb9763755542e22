// The engine: every piece of process-wide state, owned by one object so that
// tests can build their own and the exports stay a thin shell over one
// instance (TheEngine).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "database/pest_database.h"
#include "engine/unzip_library.h"
#include "exclusions/exclusion_list.h"
#include "platform/sync.h"
#include "scan/file_masks.h"

namespace kv {

inline constexpr uint32_t kDefaultMaxScanFileSize = 0x7FFFFFFFu;

class Engine {
 public:
  // Builds the global objects in their order, then does the work of process
  // attach as the last step, so attach always sees them constructed.
  Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // Stores the mode unchecked; running walks see it at their next file.
  int32_t SetScanMode(int32_t mode);
  // Closes the pause gate, then raises the flag; walks stop at their next
  // directory entry.
  int32_t PauseScan();
  // Opens the gate, then lowers the flag.
  int32_t ResumeScan();
  // Ends the process with exit code 0; returns only on failure.
  int32_t ImmediateExit();

  // Called by walks before each directory entry: waits while paused.
  void WaitWhilePaused();

  int32_t scan_mode() const { return scan_mode_.load(std::memory_order_relaxed); }
  bool scan_paused() const { return scan_paused_.load(std::memory_order_relaxed); }
  uint32_t max_scan_file_size() const { return max_scan_file_size_; }
  int32_t init_count() const { return init_count_; }
  FileMasks& file_masks() { return file_masks_; }
  const UnzipLibrary& unzip() const { return unzip_; }
  PestDatabase& database() { return database_; }

  ExclusionList& exclusions() { return exclusions_; }
  // The data folder a host set or the last data-file search used.
  std::string& dat_folder() { return dat_folder_; }
  const std::string& dat_folder() const { return dat_folder_; }

 private:
  void AttachToProcess();

  // The global objects, in their order of construction (torn down in the
  // reverse order).
  ExclusionList exclusions_;
  PestDatabase database_;
  std::string dat_folder_;
  FileMasks file_masks_;

  // Engine-wide state; the walk reads the flags without a lock.
  std::unique_ptr<platform::ManualResetEvent> pause_event_;
  std::atomic<bool> scan_paused_{false};
  int32_t init_count_ = 0;
  uint32_t max_scan_file_size_ = kDefaultMaxScanFileSize;
  std::atomic<int32_t> scan_mode_{0};
  UnzipLibrary unzip_;
};

// The one engine the exported functions drive, built when the library loads.
Engine& TheEngine();

}  // namespace kv
