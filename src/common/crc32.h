// CRC-32 (reflected, polynomial 0xEDB88320) over a caller-held state.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kv {

inline constexpr uint32_t kCrc32Start = 0xFFFFFFFFu;

// Feeds `length` bytes into `state` and returns the new state. No final
// complement: a full CRC-32 starts from kCrc32Start and complements the end
// state (see Crc32).
uint32_t Crc32Update(uint32_t state, const void* data, size_t length);

// The standard CRC-32 of a buffer.
inline uint32_t Crc32(const void* data, size_t length) {
  return ~Crc32Update(kCrc32Start, data, length);
}

}  // namespace kv
