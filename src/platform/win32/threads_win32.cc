// Sleeping thread on Windows: a raw thread from CreateThread. A std::thread
// is not used: its destructor would end the process. Outside library unload
// Stop() wakes the thread and waits for it to end; during unload, where a
// thread cannot end while the loader lock is held, it terminates the thread,
// but only while it sleeps.
#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>

#include "platform/library_state.h"
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
  explicit Win32SleepingThread(Body body)
      : body_(std::move(body)), wake_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~Win32SleepingThread() override {
    Stop();
    if (handle_ != nullptr) ::CloseHandle(handle_);
    if (wake_ != nullptr) ::CloseHandle(wake_);
  }

  bool Run() {
    if (wake_ == nullptr) return false;
    handle_ = ::CreateThread(nullptr, 0, &Win32SleepingThread::Main, this, 0, nullptr);
    return handle_ != nullptr;
  }

  bool SleepFor(uint32_t milliseconds) override {
    if (stop_.load()) return Leave();
    LONG expected = kWorking;
    state_.compare_exchange_strong(expected, kIdle);
    ::WaitForSingleObject(wake_, milliseconds);
    expected = kIdle;
    if (!state_.compare_exchange_strong(expected, kWorking)) Park();
    if (stop_.load()) return Leave();
    return true;
  }

  bool stop_requested() const override { return stop_.load(); }

  bool Stop() override {
    if (handle_ == nullptr || stopped_) return clean_;
    stopped_ = true;
    if (!LibraryUnloading()) return Join();
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
    if (!thread->stop_.load()) thread->body_(*thread);
    thread->finished_.store(true);
    // Ending here on its own could race a library unload, which needs the
    // loader lock; wait for Stop(), which either wakes it to end or, during
    // unload, terminates it.
    thread->state_.store(kIdle);
    while (!thread->joined_.load()) ::WaitForSingleObject(thread->wake_, INFINITE);
    return 0;
  }

  // Wakes the thread and waits until it has ended: it finishes any work in
  // hand, sees the stop flag and returns.
  bool Join() {
    joined_.store(true);  // before the stop flag, so whoever sees one sees both
    stop_.store(true);
    ::SetEvent(wake_);
    ::WaitForSingleObject(handle_, INFINITE);
    return clean_;
  }

  // What a stopped thread does when it next checks: returns false to end its
  // body when Stop() waits for it, or parks to be terminated.
  bool Leave() {
    if (joined_.load()) return false;
    Park();
  }

  // Sleeps until terminated; holds nothing meanwhile.
  [[noreturn]] void Park() {
    state_.store(kIdle);
    for (;;) ::Sleep(INFINITE);
  }

  Body body_;
  HANDLE wake_;
  HANDLE handle_ = nullptr;
  std::atomic<LONG> state_{kIdle};
  std::atomic<bool> stop_{false};
  std::atomic<bool> joined_{false};
  std::atomic<bool> finished_{false};
  bool stopped_ = false;
  bool clean_ = true;
};

// A detached thread's start: the body and the reference on the library that
// holds this code, which the thread drops as it ends, outside that code.
struct DetachedStart {
  std::function<void()> body;
  HMODULE library = nullptr;
};

DWORD WINAPI DetachedMain(void* parameter) {
  HMODULE library = nullptr;
  {
    std::unique_ptr<DetachedStart> start(static_cast<DetachedStart*>(parameter));
    library = start->library;
    start->body();
  }
  if (library != nullptr) ::FreeLibraryAndExitThread(library, 0);
  return 0;
}

}  // namespace

bool StartDetachedThread(std::function<void()> body) {
  auto start = std::make_unique<DetachedStart>();
  start->body = std::move(body);
  // Counts one more reference on the module holding this code: released by
  // FreeLibraryAndExitThread, which never returns into the module.
  if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCSTR>(&DetachedMain), &start->library)) {
    start->library = nullptr;
  }
  HMODULE library = start->library;
  HANDLE thread = ::CreateThread(nullptr, 0, &DetachedMain, start.get(), 0, nullptr);
  if (thread == nullptr) {
    if (library != nullptr) ::FreeLibrary(library);
    return false;
  }
  start.release();  // the thread owns it now
  ::CloseHandle(thread);
  return true;
}

void SleepMilliseconds(uint32_t milliseconds) { ::Sleep(milliseconds); }

std::unique_ptr<SleepingThread> SleepingThread::Start(Body body) {
  auto thread = std::make_unique<Win32SleepingThread>(std::move(body));
  if (!thread->Run()) return nullptr;
  return thread;
}

}  // namespace kv::platform
