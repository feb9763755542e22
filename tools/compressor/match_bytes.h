// What both match finders share: byte comparisons, the sizes of their tables
// and window, and the chains' 3-byte hash.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
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

// Bits of a table index for an input of `size` bytes: about one slot per
// byte, so that small inputs do not pay for clearing large tables.
inline unsigned TableBits(size_t size, unsigned most) {
  const unsigned bits = static_cast<unsigned>(std::bit_width(size | 1));
  return std::clamp(bits, 10u, most);
}

// Mask of a ring index over a window of 2^`window_bits` bytes (at least
// 64 KiB), or over the whole input when that is smaller.
inline uint32_t WindowMask(size_t size, unsigned window_bits) {
  return static_cast<uint32_t>(std::min<uint64_t>(uint64_t{1} << std::max(window_bits, 16u),
                                                  std::bit_ceil(std::max<uint64_t>(size, 1))) -
                               1);
}

// Multiplicative hash of the three bytes at `p`, `bits` wide.
inline uint32_t HashOfThree(const uint8_t* p, unsigned bits) {
  const uint32_t key = p[0] | (p[1] << 8) | (p[2] << 16);
  return (key * 2654435761u) >> (32 - bits);
}

}  // namespace kv::compressor
