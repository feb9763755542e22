// Bit costs of the block format's codes, as the parser and the planner price
// them. Every figure here matches what BitSink writes for the same code.
#pragma once

#include <bit>
#include <cstdint>

#include "common/block_format.h"

namespace kv::compressor {

// Gamma number (at least 2): two bits per binary digit after the leading 1.
inline uint32_t GammaBits(uint32_t value) {
  return 2 * (static_cast<uint32_t>(std::bit_width(value)) - 1);
}

inline constexpr uint32_t kLiteral8Bits = 1 + 8;
inline constexpr uint32_t kLiteral7Bits = 1 + 7;
inline constexpr uint32_t kZeroByteBits = 3 + 4;
inline constexpr uint32_t kOneByteCopyBits = 3 + 4;
inline constexpr uint32_t kShortMatchBits = 3 + 7 + 2;
inline constexpr uint32_t kLiteralWidth8Bits = 3 + 4 + 1 + 1;
inline constexpr uint32_t kLiteralWidth7Bits = 3 + 4 + 1 + 1 + 8;
// Raw run started from the main loop; a chained run costs 1 + 2048 instead.
inline constexpr uint32_t kRawRunBits = 3 + 4 + 1 + 8 * kRawRunLength + 1;
inline constexpr uint32_t kEndBits = 3 + 7 + 2;

// A byte that a 7-bit region cannot hold as a literal: switch to 8 bits,
// write it, switch back.
inline constexpr uint32_t kEscapedLiteralBits =
    kLiteralWidth8Bits + kLiteral8Bits + kLiteralWidth7Bits;

inline uint32_t OffsetWidthChangeBits(uint32_t width) { return 3 + 7 + 2 + (width < 16 ? 4 : 5); }

inline uint32_t RepeatMatchBits(uint32_t length) { return 2 + GammaBits(2) + GammaBits(length); }

// Offset part of a long match: gamma high part plus `width` low bits.
inline uint32_t LongOffsetBits(uint32_t offset, uint32_t width) {
  return GammaBits((offset >> width) + 3) + width;
}

// A long match's full cost; `length` includes the bonus and must be at
// least bonus + 2.
inline uint32_t LongMatchBits(uint32_t offset, uint32_t length, uint32_t width) {
  return 2 + LongOffsetBits(offset, width) + GammaBits(length - LongMatchBonus(offset));
}

}  // namespace kv::compressor
