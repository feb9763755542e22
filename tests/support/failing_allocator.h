// Memory that runs out on request, for the tests of what the engine does
// then. The executable that links failing_allocator.cc has its global
// operator new replaced: while a FailingAllocations is alive on a thread,
// that thread's allocations beyond the first `allowed` throw
// std::bad_alloc. Other threads, and this one outside the scope, allocate
// as usual.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kv::test {

class FailingAllocations {
 public:
  explicit FailingAllocations(size_t allowed);
  ~FailingAllocations();
  FailingAllocations(const FailingAllocations&) = delete;
  FailingAllocations& operator=(const FailingAllocations&) = delete;

  // True once an allocation has been refused in this scope.
  bool refused() const;
  // Allocations made in this scope less the releases: 0 when everything
  // allocated here was released here.
  int64_t outstanding() const;
};

// Runs `attempt` with 0, 1, 2, ... allocations allowed until one run needs no
// refusal. Outside the failing scope, `prepare()` comes before each run and
// `check(refused, outstanding)` after it. Returns the number of runs that
// had an allocation refused.
template <typename Prepare, typename Attempt, typename Check>
size_t AtEveryAllocation(Prepare prepare, Attempt attempt, Check check) {
  for (size_t allowed = 0;; ++allowed) {
    prepare();
    bool refused = false;
    int64_t outstanding = 0;
    {
      FailingAllocations failing(allowed);
      attempt();
      refused = failing.refused();
      outstanding = failing.outstanding();
    }
    check(refused, outstanding);
    if (!refused) return allowed;
  }
}

}  // namespace kv::test
