// Keeps C++ exceptions from crossing the C interface: every export runs its
// body through one of these, and an export that fails (memory running out,
// which throws std::bad_alloc anywhere inside the engine) returns its failure
// value instead.
#pragma once

#include <cstdint>
#include <utility>

#include "common/status.h"

namespace kv {

template <typename Result, typename Body>
Result Guarded(Result on_failure, Body&& body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    return on_failure;
  }
}

// For the exports that report a status: inside the engine allocation
// failures throw std::bad_alloc, and here, at the interface, they become
// kOutOfMemory; the status becomes the integer the host receives.
template <typename Body>
int32_t GuardedStatus(Body&& body) noexcept {
  return ToInt(Guarded(Status::kOutOfMemory, std::forward<Body>(body)));
}

}  // namespace kv
