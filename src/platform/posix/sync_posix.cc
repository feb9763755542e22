// Manual-reset event from a mutex, a condition variable and a flag.
#include <condition_variable>
#include <mutex>

#include "platform/sync.h"

namespace kv::platform {

struct ManualResetEvent::State {
  std::mutex mutex;
  std::condition_variable changed;
  bool signalled = false;
};

ManualResetEvent::ManualResetEvent(bool signalled)
    : state_(std::make_unique<State>()) {
  state_->signalled = signalled;
}

ManualResetEvent::~ManualResetEvent() = default;

void ManualResetEvent::Set() {
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->signalled = true;
  }
  state_->changed.notify_all();
}

void ManualResetEvent::Reset() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->signalled = false;
}

void ManualResetEvent::Wait() {
  std::unique_lock<std::mutex> lock(state_->mutex);
  state_->changed.wait(lock, [this] { return state_->signalled; });
}

bool ManualResetEvent::valid() const { return state_ != nullptr; }

}  // namespace kv::platform
