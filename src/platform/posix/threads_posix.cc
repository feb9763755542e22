// Sleeping thread on POSIX: a std::thread whose sleeps wait on a condition
// variable, so that a stop request wakes it; Stop() joins it.
#include <dlfcn.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/threads.h"

namespace kv::platform {
namespace {

class PosixSleepingThread final : public SleepingThread, public SleepingThread::Control {
 public:
  explicit PosixSleepingThread(Body body) : body_(std::move(body)) {}
  ~PosixSleepingThread() override { Stop(); }

  void Run() {
    thread_ = std::thread([this] { body_(*this); });
  }

  bool SleepFor(uint32_t milliseconds) override {
    std::unique_lock<std::mutex> lock(mutex_);
    return !wake_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return stop_; });
  }

  bool stop_requested() const override {
    std::lock_guard<std::mutex> lock(mutex_);
    return stop_;
  }

  bool Stop() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    return true;
  }

 private:
  Body body_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread thread_;
};

// Marks the library holding this code as never to be unloaded. A thread
// cannot release a library and leave its code in one step on POSIX, so a
// library that has run a detached thread stays until the process ends.
void PinThisLibrary() {
  static std::once_flag pinned;
  std::call_once(pinned, [] {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&PinThisLibrary), &info) == 0) return;
    if (info.dli_fname == nullptr) return;
    void* self = ::dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    if (self != nullptr) ::dlclose(self);  // the pin outlives the handle
  });
}

}  // namespace

bool StartDetachedThread(std::function<void()> body) {
  PinThisLibrary();
  try {
    std::thread(std::move(body)).detach();
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void SleepMilliseconds(uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::unique_ptr<SleepingThread> SleepingThread::Start(Body body) {
  auto thread = std::make_unique<PosixSleepingThread>(std::move(body));
  try {
    thread->Run();
  } catch (const std::system_error&) {
    return nullptr;
  }
  return thread;
}

}  // namespace kv::platform
