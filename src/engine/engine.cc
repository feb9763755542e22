// Engine construction, process attach and the small control operations.
#include "engine/engine.h"

#include "platform/modules.h"

namespace kv {

Engine::Engine(EngineOptions options)
    : exclusions_(std::move(options.exclusions)),
      database_(options.watcher_check_interval_ms, options.watcher_settle_interval_ms) {
  AttachToProcess();
}

void Engine::AttachToProcess() {
  unzip_ = UnzipLibrary::Load();
  pause_event_ = std::make_unique<platform::ManualResetEvent>(true);
  scan_paused_ = false;
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

}  // namespace kv
