// Sleeping thread on Windows: a raw thread from CreateThread, terminated by
// Stop() while it sleeps. A std::thread is not used: its destructor would end
// the process, and joining during library unload would hang on the loader
// lock.
#include <windows.h>

#include <atomic>

#include "platform/threads.h"

namespace kv::platform {
namespace {

// The thread's state, changed only by atomic exchanges so that no lock is
// ever held by a thread that may be terminated. A thread is idle, and safe to
// terminate, until it first enters its body: a new thread waits for the
// loader lock before it runs any of our code, and a library being unloaded
// holds that lock, so waiting for it to start would never end.
enum State : LONG { kWorking = 0, kIdle = 1, kTerminating = 2 };

class Win32SleepingThread final : public SleepingThread, public SleepingThread::Control {
 public:
  explicit Win32SleepingThread(Body body) : body_(std::move(body)) {}
  ~Win32SleepingThread() override {
    Stop();
    if (handle_ != nullptr) ::CloseHandle(handle_);
  }

  bool Run() {
    handle_ = ::CreateThread(nullptr, 0, &Win32SleepingThread::Main, this, 0, nullptr);
    return handle_ != nullptr;
  }

  bool SleepFor(uint32_t milliseconds) override {
    if (stop_.load()) Park();
    LONG expected = kWorking;
    state_.compare_exchange_strong(expected, kIdle);
    ::Sleep(milliseconds);
    expected = kIdle;
    if (!state_.compare_exchange_strong(expected, kWorking)) Park();
    if (stop_.load()) Park();
    return true;
  }

  bool stop_requested() const override { return stop_.load(); }

  bool Stop() override {
    if (handle_ == nullptr || stopped_) return clean_;
    stopped_ = true;
    stop_.store(true);
    for (;;) {
      if (::WaitForSingleObject(handle_, 0) == WAIT_OBJECT_0) {
        // Gone already: ended by the system (process exit) or by its body.
        clean_ = state_.load() != kWorking || finished_.load();
        return clean_;
      }
      LONG expected = kIdle;
      if (state_.compare_exchange_strong(expected, kTerminating)) {
        ::TerminateThread(handle_, 0);
        ::WaitForSingleObject(handle_, INFINITE);
        return clean_;
      }
      // At work: it parks at its next sleep, having seen the stop flag.
      ::Sleep(1);
    }
  }

 private:
  static DWORD WINAPI Main(void* self) {
    auto* thread = static_cast<Win32SleepingThread*>(self);
    LONG expected = kIdle;
    if (!thread->state_.compare_exchange_strong(expected, kWorking)) thread->Park();
    if (thread->stop_.load()) thread->Park();
    thread->body_(*thread);
    thread->finished_.store(true);
    // Ending here on its own would need the loader lock; sleep until Stop()
    // terminates it instead.
    thread->Park();
    return 0;
  }

  // Sleeps until terminated; holds nothing meanwhile.
  [[noreturn]] void Park() {
    state_.store(kIdle);
    for (;;) ::Sleep(INFINITE);
  }

  Body body_;
  HANDLE handle_ = nullptr;
  std::atomic<LONG> state_{kIdle};
  std::atomic<bool> stop_{false};
  std::atomic<bool> finished_{false};
  bool stopped_ = false;
  bool clean_ = true;
};

}  // namespace

void SleepMilliseconds(uint32_t milliseconds) { ::Sleep(milliseconds); }

std::unique_ptr<SleepingThread> SleepingThread::Start(Body body) {
  auto thread = std::make_unique<Win32SleepingThread>(std::move(body));
  if (!thread->Run()) return nullptr;
  return thread;
}

}  // namespace kv::platform
