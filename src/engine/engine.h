// The engine: every piece of process-wide state, owned by one object so that
// tests can build their own and the exports stay a thin shell over one
// instance (TheEngine).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "common/status.h"
#include "config/data_folder.h"
#include "database/pest_database.h"
#include "database/pest_info_store.h"
#include "exclusions/exclusion_list.h"
#include "platform/sync.h"
#include "scan/file_masks.h"
#include "scan/scan_control.h"
#include "scan/unzip_library.h"

namespace kv {

inline constexpr uint32_t kDefaultMaxScanFileSize = 0x7FFFFFFFu;
inline constexpr char kSignatureFileName[] = "KVFILE.DAT";
inline constexpr char kPestInfoFileName[] = "KVINFO.DAT";

// What an engine takes from outside; tests give their own folders, message
// sink and watcher intervals.
struct EngineOptions {
  ExclusionListOptions exclusions;
  uint32_t watcher_check_interval_ms = kWatcherCheckIntervalMs;
  uint32_t watcher_settle_interval_ms = kWatcherSettleIntervalMs;
  // The unzip library to load: empty for the platform's own name, found
  // beside the engine or by the system's search; a path loads that file.
  std::string unzip_library;
  ArchiveLimits archive_limits;
};

class Engine {
 public:
  // Builds the global objects in their order, then does the work of process
  // attach as the last step, so attach always sees them constructed. The
  // unzip library is not loaded here (a library's attach runs under the
  // system's loader lock) but by the first Initialize.
  explicit Engine(EngineOptions options = {});
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
  // Ends every walk running now at its next entry or member (they return
  // their counts so far) and wakes paused ones. Walks started later run.
  int32_t StopScan();
  // Changes with every StopScan: a walk stops once it differs from the
  // value it started with.
  uint32_t stop_generation() const { return stop_generation_.load(); }

  // --- Walks. ---
  // The walk of a file or folder tree, reporting to `target`, without
  // resuming first: the count of reports, or -1 (after reloading the
  // exclusion list) when the engine was never initialized.
  int32_t ScanFileOrDirectory(const char* path, const ScanTarget& target);
  // Resumes, then walks `path` on a thread of its own, then sends the end
  // notification (null path, user value 0) to `callback`. The path is
  // copied. 1 when the thread started; 0 for a null callback or path, or
  // when no thread could be made.
  int32_t ScanFileOrDirectoryAsync(const char* path, ScanCallback callback, int32_t user_value);

  // --- Start and stop. ---
  // Loads the unzip library the first time it runs (once per engine, whatever
  // the outcome) and removes the scratch folders that scans of processes
  // since ended left behind; sets the default masks, finds and loads KVFILE.DAT (the set folder or
  // KVLocation, then KVCLLocation, then the host's folder), reloads the
  // exclusion list, counts the start, takes the table's largest file size
  // as the scan limit and resets the scan mode. Returns the load's status;
  // on failure only the masks and the data folder have changed.
  Status Initialize();
  // Releases the pest information and the signatures; the engine stays
  // initialized with an empty table. 9 when it never was initialized.
  Status Deinitialize();

  // --- Single-file scan. ---
  // A new detection record for the file at `path` (kept as given), or null
  // when the path is excluded, cannot be fingerprinted or matches nothing.
  _PEST_INFORMATION* ScanSingleFile(const char* path);

  // --- Pest information (KVINFO.DAT), counted by references. ---
  Status LoadPestInfo();
  Status UnloadPestInfo();
  // 0 and a new copy in *out; 10 for an unknown pest (or name); a load's
  // status when the table had to be loaded for the call and could not be.
  Status GetDetailedPestInformation(uint32_t pest_id, _DETAILED_PEST_INFORMATION** out);
  Status GetDetailedPestInformationFromName(const char* name, _DETAILED_PEST_INFORMATION** out);
  // A new copy of the record at `index` of the loaded table, or null.
  _DETAILED_PEST_INFORMATION* GetDetailedPestInfoByIndex(int32_t index);
  bool pest_info_loaded() const { return pest_info_.loaded(); }

  int32_t scan_mode() const { return scan_mode_.load(std::memory_order_relaxed); }
  bool scan_paused() const { return scan_paused_.load(std::memory_order_relaxed); }
  // Whether a walk passes the pause gate without waiting.
  bool pause_gate_open() const { return pause_event_->IsSet(); }
  uint32_t max_scan_file_size() const { return max_scan_file_size_; }
  int32_t init_count() const { return init_count_.load(); }
  FileMasks& file_masks() { return file_masks_; }
  // The unzip library, once the first Initialize has looked for it; absent
  // (not ready) before.
  const UnzipLibrary& unzip() const;
  PestDatabase& database() { return database_; }

  ExclusionList& exclusions() { return exclusions_; }
  // The data folder a host set or the last data-file search used.
  DataFolder& data_folder() { return data_folder_; }

 private:
  void AttachToProcess();
  void LoadUnzipLibraryOnce();
  PestInfoStore::Locate PestInfoLocator();

  // The global objects, in their order of construction (torn down in the
  // reverse order).
  ExclusionList exclusions_;
  PestDatabase database_;
  DataFolder data_folder_;
  FileMasks file_masks_;
  PestInfoStore pest_info_;

  // Engine-wide state; the walk reads the flags without a lock.
  std::unique_ptr<platform::ManualResetEvent> pause_event_;
  std::atomic<bool> scan_paused_{false};
  std::atomic<int32_t> init_count_{0};
  std::atomic<uint32_t> max_scan_file_size_{kDefaultMaxScanFileSize};
  std::atomic<int32_t> scan_mode_{0};
  std::atomic<uint32_t> stop_generation_{0};
  std::once_flag unzip_once_;
  std::atomic<bool> unzip_loaded_{false};
  UnzipLibrary unzip_;  // written once, before unzip_loaded_ is set
  const std::string unzip_library_name_;
  const ArchiveLimits archive_limits_;
};

// The one engine the exported functions drive, built when the library loads.
Engine& TheEngine();

}  // namespace kv
