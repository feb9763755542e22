// Keeps C++ exceptions from crossing the C interface: an export that fails
// unexpectedly returns its failure value instead.
#pragma once

#include <utility>

namespace kv {

template <typename Result, typename Body>
Result Guarded(Result on_failure, Body&& body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    return on_failure;
  }
}

}  // namespace kv
