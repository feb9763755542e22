// Engine construction, process attach and the small control operations.
#include "engine/engine.h"

#include "platform/modules.h"
#include "platform/scratch_folder.h"

namespace kv {

Engine::Engine(EngineOptions options)
    : exclusions_(std::move(options.exclusions)),
      database_(options.watcher_check_interval_ms, options.watcher_settle_interval_ms),
      unzip_library_name_(std::move(options.unzip_library)),
      archive_limits_(options.archive_limits) {
  AttachToProcess();
}

void Engine::AttachToProcess() {
  pause_event_ = std::make_unique<platform::ManualResetEvent>(true);
  scan_paused_ = false;
}

void Engine::LoadUnzipLibraryOnce() {
  std::call_once(unzip_once_, [this] {
    unzip_ =
        UnzipLibrary::Load(unzip_library_name_.empty() ? nullptr : unzip_library_name_.c_str());
    platform::RemoveAbandonedScratchFolders();
    unzip_loaded_.store(true, std::memory_order_release);
  });
}

const UnzipLibrary& Engine::unzip() const {
  static const UnzipLibrary kAbsent;
  return unzip_loaded_.load(std::memory_order_acquire) ? unzip_ : kAbsent;
}

int32_t Engine::SetScanMode(int32_t mode) {
  scan_mode_.store(mode, std::memory_order_relaxed);
  return 1;
}

int32_t Engine::PauseScan() {
  pause_event_->Reset();
  scan_paused_.store(true);
  return 1;
}

int32_t Engine::ResumeScan() {
  pause_event_->Set();
  scan_paused_.store(false);
  return 1;
}

int32_t Engine::ImmediateExit() { return platform::TerminateCurrentProcess(); }

void Engine::WaitWhilePaused() {
  if (scan_paused_.load()) pause_event_->Wait();
}

int32_t Engine::StopScan() {
  stop_generation_.fetch_add(1);
  // A paused walk wakes to see the request.
  ResumeScan();
  return 1;
}

}  // namespace kv
