// The compressed block's format, as the engine's decoder reads it and the
// tools' compressor writes it: the header, the checksum, the code constants
// and the length bonus of a long match. docs/block-format.md has the codes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace kv {

// Header: the magic, the uncompressed size and the checksum (u32 each,
// little-endian), then the bit stream in 32-bit little-endian words.
inline constexpr size_t kBlockHeaderSize = 10;
inline constexpr uint8_t kBlockMagic[2] = {0x4A, 0x43};  // "JC"
inline constexpr size_t kBlockSizeOffset = 2;
inline constexpr size_t kBlockChecksumOffset = 6;

// The checksum stored in a block header for the given expanded bytes: 32-bit
// words summed and mixed, the last word overlapping when the length is not a
// multiple of 4; 0 for fewer than 4 bytes.
uint32_t BlockChecksum(std::span<const uint8_t> data);

// Decoder state at the start of a stream.
inline constexpr uint32_t kInitialOffsetWidth = 8;  // low offset bits of a long match
inline constexpr uint32_t kInitialLastOffset = 1;

// Bytes in a raw run.
inline constexpr uint32_t kRawRunLength = 256;
// A one-byte copy (`001` and 4 bits v of 2 to 15) reaches offsets 1 to 14.
inline constexpr uint32_t kMaxOneByteCopyOffset = 14;
// A short match (`000`, 7 bits of offset, 2 bits of length).
inline constexpr uint32_t kMaxShortMatchOffset = 127;
inline constexpr uint32_t kMinShortMatch = 2;
inline constexpr uint32_t kMaxShortMatch = 5;

// Extra length a long match with a new offset gets for free, beyond the
// length its gamma number says: short offsets must repeat more to beat
// literals, far ones cost more offset bits. Note the bounds 0x27F and
// 0x37FF.
constexpr uint32_t LongMatchBonus(uint32_t offset) {
  if (offset <= 0x7F) return 4;
  if (offset >= 0x10000) return 3;
  if (offset >= 0x37FF) return 2;
  if (offset >= 0x27F) return 1;
  return 0;
}

}  // namespace kv
