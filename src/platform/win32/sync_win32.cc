// Manual-reset event over a Win32 event object.
#include <windows.h>

#include "platform/sync.h"

namespace kv::platform {

struct ManualResetEvent::State {
  HANDLE event = nullptr;
};

ManualResetEvent::ManualResetEvent(bool signalled) : state_(std::make_unique<State>()) {
  state_->event = ::CreateEventA(nullptr, TRUE, signalled ? TRUE : FALSE, nullptr);
}

ManualResetEvent::~ManualResetEvent() {
  if (state_->event != nullptr) ::CloseHandle(state_->event);
}

void ManualResetEvent::Set() {
  if (state_->event != nullptr) ::SetEvent(state_->event);
}

void ManualResetEvent::Reset() {
  if (state_->event != nullptr) ::ResetEvent(state_->event);
}

void ManualResetEvent::Wait() {
  if (state_->event != nullptr) ::WaitForSingleObject(state_->event, INFINITE);
}

bool ManualResetEvent::IsSet() const {
  return state_->event != nullptr && ::WaitForSingleObject(state_->event, 0) == WAIT_OBJECT_0;
}

bool ManualResetEvent::valid() const { return state_->event != nullptr; }

}  // namespace kv::platform
