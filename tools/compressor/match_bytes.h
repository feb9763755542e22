// Byte comparisons that both match finders use, and the chains' 3-byte hash.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace kv::compressor {

// Length of the common run of bytes at `a` and `b`, at most `limit`.
inline uint32_t CommonRun(const uint8_t* a, const uint8_t* b, uint32_t limit) {
  uint32_t length = 0;
  while (limit - length >= 8) {
    uint64_t x, y;
    std::memcpy(&x, a + length, 8);
    std::memcpy(&y, b + length, 8);
    if (x != y) {
      // Little-endian hosts only; every supported target is.
      return length + static_cast<uint32_t>(std::countr_zero(x ^ y) / 8);
    }
    length += 8;
  }
  while (length < limit && a[length] == b[length]) ++length;
  return length;
}

// Multiplicative hash of the three bytes at `p`, `bits` wide.
inline uint32_t HashOfThree(const uint8_t* p, unsigned bits) {
  const uint32_t key = p[0] | (p[1] << 8) | (p[2] << 16);
  return (key * 2654435761u) >> (32 - bits);
}

}  // namespace kv::compressor
