// The engine's walks: the synchronous one over the engine's state and the
// asynchronous one on a thread of its own.
#include <string>

#include "engine/engine.h"
#include "platform/threads.h"
#include "scan/directory_walk.h"

namespace kv {
namespace {

// The engine's settings and pause gate as one walk sees them.
class EngineScanControl final : public ScanControl {
 public:
  explicit EngineScanControl(Engine& engine)
      : engine_(engine), start_generation_(engine.stop_generation()) {}

  void WaitWhilePaused() override { engine_.WaitWhilePaused(); }
  bool StopRequested() const override { return engine_.stop_generation() != start_generation_; }
  int32_t ScanMode() const override { return engine_.scan_mode(); }
  uint32_t MaxScanFileSize() const override { return engine_.max_scan_file_size(); }

 private:
  Engine& engine_;
  const uint32_t start_generation_;
};

}  // namespace

int32_t Engine::ScanFileOrDirectory(const char* path, const ScanTarget& target) {
  if (init_count() == 0) {
    exclusions_.Load();
    return -1;
  }
  EngineScanControl control(*this);
  const ScanServices services{database_, exclusions_, file_masks_,
                              control,   unzip(),     archive_limits_};
  return WalkFileOrDirectory(path, services, target);
}

int32_t Engine::ScanFileOrDirectoryAsync(const char* path, ScanCallback callback,
                                         int32_t user_value) {
  if (path == nullptr || callback == nullptr) return 0;
  // The host may free its text as soon as this returns.
  std::string own_path = path;
  auto body = [this, own_path = std::move(own_path), callback, user_value] {
    ResumeScan();
    try {
      ScanFileOrDirectory(own_path.c_str(), ScanTarget{callback, nullptr, user_value});
    } catch (...) {
      // Out of memory part way: the host still hears that the scan ended.
    }
    callback(nullptr, 0, nullptr, 0);
  };
  return platform::StartDetachedThread(std::move(body)) ? 1 : 0;
}

}  // namespace kv
