// Background threads that sleep most of their lives and can be stopped at any
// time without waiting for the sleep to end; plain sleeps.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace kv::platform {

// Suspends the calling thread for `milliseconds`.
void SleepMilliseconds(uint32_t milliseconds);

// Runs `body` once on a new thread that nobody waits for. The thread keeps
// the engine library loaded until it has left the library's code, so a host
// may release the library while the body still runs. False when no thread
// can be made (the body is then dropped without running).
bool StartDetachedThread(std::function<void()> body);

// A thread whose body alternates between sleeping (SleepFor) and short
// pieces of work. Stop() ends it without waiting for a sleep to run out and
// never in the middle of a piece of work: it wakes the sleeper with a
// request it observes and waits for the thread to end. While a Windows
// library is being unloaded, where waiting for a thread to end would wait for
// the loader lock, it terminates the raw thread instead, but only while it
// sleeps.
class SleepingThread {
 public:
  class Control {
   public:
    virtual ~Control() = default;
    // Sleeps for `milliseconds`. False when the thread is to stop: the body
    // must then return without starting any more work.
    virtual bool SleepFor(uint32_t milliseconds) = 0;
    // True once Stop() has been called; the body checks it before work.
    virtual bool stop_requested() const = 0;
  };
  using Body = std::function<void(Control&)>;

  // Starts `body` on a new thread at once. Null when no thread can be made.
  static std::unique_ptr<SleepingThread> Start(Body body);

  virtual ~SleepingThread() = default;

  // Ends the thread as described above; later calls do nothing. Returns
  // false when the thread had already vanished in the middle of its work
  // (the system ends every other thread before a process exits), so that
  // state it may have left half-changed must not be touched.
  virtual bool Stop() = 0;
};

}  // namespace kv::platform
