// Large memory on Windows: committed virtual memory. Large pages there need
// a privilege that ordinary accounts lack, so the memory takes normal pages.
#include <windows.h>

#include "platform/memory.h"

namespace kv::platform {

void* AllocateLargeMemory(size_t bytes, size_t* mapped_bytes) {
  *mapped_bytes = 0;
  if (bytes == 0) return nullptr;
  // Committed pages read as zero.
  void* memory = VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (memory != nullptr) *mapped_bytes = bytes;
  return memory;
}

void FreeLargeMemory(void* memory, size_t /*mapped_bytes*/) {
  if (memory != nullptr) VirtualFree(memory, 0, MEM_RELEASE);
}

}  // namespace kv::platform
