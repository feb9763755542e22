// A manual-reset event: a gate that stays open while signalled.
#pragma once

#include <memory>

namespace kv::platform {

class ManualResetEvent {
 public:
  explicit ManualResetEvent(bool signalled);
  ~ManualResetEvent();
  ManualResetEvent(const ManualResetEvent&) = delete;
  ManualResetEvent& operator=(const ManualResetEvent&) = delete;

  void Set();
  void Reset();
  // Returns once the event is signalled (at once if it already is).
  void Wait();
  // Whether a Wait() would return at once now; false for an event that
  // could not be created.
  bool IsSet() const;
  // False when the underlying object could not be created.
  bool valid() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace kv::platform
