// Large memory on POSIX: an anonymous mapping, aligned to the huge-page size
// and marked for transparent huge pages where it spans at least one.
#include <sys/mman.h>

#include <cstdint>

#include "platform/memory.h"

namespace kv::platform {
namespace {

constexpr size_t kHugePage = size_t{2} << 20;

size_t RoundUp(size_t bytes, size_t unit) { return (bytes + unit - 1) / unit * unit; }

void* MapAnonymous(size_t bytes) {
  void* memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return memory == MAP_FAILED ? nullptr : memory;
}

// Maps `bytes` (a multiple of the huge-page size) at an address aligned to
// it: maps one huge page more than asked, then returns the ragged ends.
void* MapAligned(size_t bytes) {
  const size_t padded = bytes + kHugePage;
  void* raw = MapAnonymous(padded);
  if (raw == nullptr) return nullptr;
  const auto start = reinterpret_cast<uintptr_t>(raw);
  const uintptr_t aligned = RoundUp(start, kHugePage);
  if (aligned > start) munmap(raw, aligned - start);
  const uintptr_t end = start + padded;
  if (end > aligned + bytes) {
    munmap(reinterpret_cast<void*>(aligned + bytes), end - aligned - bytes);
  }
  return reinterpret_cast<void*>(aligned);
}

}  // namespace

void* AllocateLargeMemory(size_t bytes, size_t* mapped_bytes) {
  *mapped_bytes = 0;
  if (bytes == 0 || bytes > SIZE_MAX - 2 * kHugePage) return nullptr;
  // Below a huge page there is nothing to gain, and small tables should not
  // each cost one.
  if (bytes < kHugePage) {
    void* memory = MapAnonymous(bytes);
    if (memory != nullptr) *mapped_bytes = bytes;
    return memory;
  }
  const size_t rounded = RoundUp(bytes, kHugePage);
  void* memory = MapAligned(rounded);
  if (memory == nullptr) return nullptr;
#ifdef MADV_HUGEPAGE
  // Only advice: where the kernel declines, the pages stay ordinary ones.
  madvise(memory, rounded, MADV_HUGEPAGE);
#endif
  *mapped_bytes = rounded;
  return memory;
}

void FreeLargeMemory(void* memory, size_t mapped_bytes) {
  if (memory != nullptr) munmap(memory, mapped_bytes);
}

}  // namespace kv::platform
