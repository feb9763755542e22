// The fingerprint rule that signatures and scans share: a file's PVT is the
// CRC-32 of its first 2047 bytes, or of the whole file when it is shorter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "common/crc32.h"

namespace kv {

inline constexpr size_t kHeadCrcLength = 2047;

// The PVT of a file that starts with `file_start`: the whole file, or at
// least its first kHeadCrcLength bytes.
inline uint32_t HeadCrc(std::span<const uint8_t> file_start) {
  return Crc32(file_start.data(),
               file_start.size() < kHeadCrcLength ? file_start.size() : kHeadCrcLength);
}

}  // namespace kv
