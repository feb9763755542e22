// The replaced global operator new and delete behind FailingAllocations.
#include "support/failing_allocator.h"

#include <cstdlib>
#include <new>

namespace kv::test {
namespace {

struct Scope {
  bool active = false;
  size_t allowed = 0;
  bool refused = false;
  int64_t outstanding = 0;
};
thread_local Scope t_scope;

void* Allocate(size_t size) {
  if (t_scope.active) {
    if (t_scope.allowed == 0) {
      t_scope.refused = true;
      return nullptr;
    }
    --t_scope.allowed;
    ++t_scope.outstanding;
  }
  return std::malloc(size == 0 ? 1 : size);
}

void Release(void* memory) {
  if (memory == nullptr) return;
  if (t_scope.active) --t_scope.outstanding;
  std::free(memory);
}

}  // namespace

FailingAllocations::FailingAllocations(size_t allowed) { t_scope = {true, allowed, false, 0}; }
FailingAllocations::~FailingAllocations() { t_scope.active = false; }
bool FailingAllocations::refused() const { return t_scope.refused; }
int64_t FailingAllocations::outstanding() const { return t_scope.outstanding; }

}  // namespace kv::test

void* operator new(size_t size) {
  if (void* memory = kv::test::Allocate(size)) return memory;
  throw std::bad_alloc();
}
void* operator new[](size_t size) { return operator new(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return kv::test::Allocate(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
  return kv::test::Allocate(size);
}
void operator delete(void* memory) noexcept { kv::test::Release(memory); }
void operator delete[](void* memory) noexcept { kv::test::Release(memory); }
void operator delete(void* memory, size_t) noexcept { kv::test::Release(memory); }
void operator delete[](void* memory, size_t) noexcept { kv::test::Release(memory); }
