// Manual-reset event from a mutex, a condition variable and a flag. The flag
// is atomic so that passing an open gate costs one load, not a lock.
#include <atomic>
#include <condition_variable>
#include <mutex>

#include "platform/sync.h"

namespace kv::platform {

struct ManualResetEvent::State {
  std::mutex mutex;
  std::condition_variable changed;
  std::atomic<bool> signalled{false};
};

ManualResetEvent::ManualResetEvent(bool signalled) : state_(std::make_unique<State>()) {
  state_->signalled = signalled;
}

ManualResetEvent::~ManualResetEvent() = default;

void ManualResetEvent::Set() {
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->signalled.store(true, std::memory_order_release);
  }
  state_->changed.notify_all();
}

void ManualResetEvent::Reset() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->signalled.store(false, std::memory_order_release);
}

void ManualResetEvent::Wait() {
  if (state_->signalled.load(std::memory_order_acquire)) return;
  std::unique_lock<std::mutex> lock(state_->mutex);
  state_->changed.wait(lock, [this] { return state_->signalled.load(std::memory_order_relaxed); });
}

bool ManualResetEvent::IsSet() const { return state_->signalled.load(std::memory_order_acquire); }

bool ManualResetEvent::valid() const { return state_ != nullptr; }

}  // namespace kv::platform
