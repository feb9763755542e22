// One-pass block decoder: a 64-bit bit buffer refilled a word at a time,
// bounds checked at every word load and every write.
#include "database/block_decoder.h"

#include <cstring>

#include "common/byte_order.h"

namespace kv {
namespace {

// Reads the stream most significant bit first from a 64-bit buffer that
// holds the unread bits at its top and is refilled a word at a time. Past the
// block's end every bit reads as 0 and `overrun` is set, so the main loop
// soon meets an end code and reports the block as corrupt.
class BitReader {
 public:
  BitReader(const uint8_t* position, const uint8_t* end) : position_(position), end_(end) {}

  uint32_t Bit() { return Bits(1); }

  // `count` bits, 1 to 32, as a number.
  uint32_t Bits(unsigned count) {
    if (count_ < count) Refill(count);
    const uint32_t value = static_cast<uint32_t>(buffer_ >> (64 - count));
    buffer_ <<= count;
    count_ -= count;
    return value;
  }

  // Elias-gamma style number, at least 2. False when it would not fit in 32
  // bits, which no sound stream produces.
  bool Gamma(uint32_t* value) {
    uint32_t result = 1;
    uint32_t pair;
    do {
      if (result >= 0x80000000u) return false;
      pair = Bits(2);  // a data bit, then a continuation bit
      result = (result << 1) | (pair >> 1);
    } while ((pair & 1u) != 0);
    *value = result;
    return true;
  }

  bool overrun() const { return overrun_; }

 private:
  // Tops the buffer up to more than 32 bits while words remain. When the
  // block ends short of `count` bits, the missing ones read as 0.
  void Refill(unsigned count) {
    while (count_ <= 32 && end_ - position_ >= 4) {
      buffer_ |= uint64_t{LoadLe32(position_)} << (32 - count_);
      position_ += 4;
      count_ += 32;
    }
    if (count_ < count) {
      overrun_ = true;
      count_ = count;  // the zero bits below the real ones
    }
  }

  uint64_t buffer_ = 0;
  unsigned count_ = 0;  // valid bits at the top of buffer_
  const uint8_t* position_;
  const uint8_t* end_;
  bool overrun_ = false;
};

class OutputCursor {
 public:
  explicit OutputCursor(std::span<uint8_t> output)
      : begin_(output.data()), next_(output.data()), end_(output.data() + output.size()) {}

  bool Put(uint8_t byte) {
    if (next_ == end_) return false;
    *next_++ = byte;
    return true;
  }

  // Copies `length` bytes from `offset` back, so that an offset shorter
  // than the length repeats the last `offset` bytes. From 8 bytes back the
  // copy goes a word at a time, which may write up to 7 bytes past the copy
  // (never past the output), later overwritten.
  bool Copy(uint32_t offset, uint64_t length) {
    if (offset == 0 || offset > Written()) return false;
    const uint64_t room = static_cast<uint64_t>(end_ - next_);
    if (length > room) return false;
    const uint8_t* from = next_ - offset;
    if (offset >= 8 && length + 7 <= room) {
      for (uint64_t i = 0; i < length; i += 8) {
        uint64_t word;
        std::memcpy(&word, from + i, 8);
        std::memcpy(next_ + i, &word, 8);
      }
    } else {
      for (uint64_t i = 0; i < length; ++i) next_[i] = from[i];
    }
    next_ += length;
    return true;
  }

  bool HasRoom(size_t count) const { return static_cast<size_t>(end_ - next_) >= count; }
  size_t Written() const { return static_cast<size_t>(next_ - begin_); }

 private:
  uint8_t* begin_;
  uint8_t* next_;
  uint8_t* end_;
};

// Runs the code loop until the end code. False for any malformed stream.
bool ExpandStream(BitReader& in, OutputCursor& out) {
  uint32_t literal_width = 8;  // sound streams set both before a literal
  uint32_t literal_bias = 0;
  uint32_t offset_width = kInitialOffsetWidth;
  uint32_t last_offset = kInitialLastOffset;

  while (!in.overrun()) {
    if (in.Bit()) {  // 1: literal
      const uint32_t value = in.Bits(literal_width);
      if (!out.Put(static_cast<uint8_t>(value + literal_bias))) return false;
      continue;
    }
    if (in.Bit()) {  // 01: match
      uint32_t selector = 0;
      uint32_t length = 0;
      if (!in.Gamma(&selector)) return false;
      if (selector == 2) {
        if (!in.Gamma(&length)) return false;
        if (!out.Copy(last_offset, length)) return false;
        continue;
      }
      const uint32_t low_bits = in.Bits(offset_width);
      const uint64_t offset = (static_cast<uint64_t>(selector - 3) << offset_width) | low_bits;
      if (offset > 0xFFFFFFFFu) return false;
      last_offset = static_cast<uint32_t>(offset);
      if (!in.Gamma(&length)) return false;
      const uint64_t total = uint64_t{length} + LongMatchBonus(last_offset);
      if (!out.Copy(last_offset, total)) return false;
      continue;
    }
    if (!in.Bit()) {  // 000: short match, end, or offset width
      const uint32_t offset = in.Bits(7);
      const uint32_t selector = in.Bits(2);
      if (offset != 0) {
        last_offset = offset;
        if (!out.Copy(offset, selector + kMinShortMatch)) return false;
      } else if (selector == 0) {
        return !in.overrun();
      } else {
        offset_width = in.Bits(selector + 3);
        if (offset_width == 0 || offset_width >= 32) return false;
      }
      continue;
    }
    // 001: one-byte copy, zero byte, or an escape
    const uint32_t value = in.Bits(4);
    if (value >= 2) {
      if (!out.Copy(value - 1, 1)) return false;
    } else if (value == 1) {
      if (!out.Put(0)) return false;
    } else if (in.Bit()) {  // raw runs of 256 bytes, chained by a 1 bit
      do {
        if (!out.HasRoom(kRawRunLength)) return false;
        for (size_t i = 0; i < kRawRunLength; ++i) {
          out.Put(static_cast<uint8_t>(in.Bits(8)));
        }
      } while (in.Bit() && !in.overrun());
    } else if (in.Bit()) {  // literal width 8, no bias
      literal_width = 8;
      literal_bias = 0;
    } else {  // literal width 7 with a bias
      literal_width = 7;
      literal_bias = in.Bits(8);
    }
  }
  return false;
}

}  // namespace

uint32_t GetUncompressedSize(std::span<const uint8_t> block) {
  if (block.size() < 6) return 0;
  if (block[0] != kBlockMagic[0] || block[1] != kBlockMagic[1]) return 0;
  return LoadLe32(block.data() + kBlockSizeOffset);
}

size_t DecompressBlock(std::span<const uint8_t> block, std::span<uint8_t> output) {
  if (block.size() < kBlockHeaderSize) return 0;
  const uint32_t declared_size = GetUncompressedSize(block);
  if (declared_size == 0 || declared_size > output.size()) return 0;
  const uint32_t checksum = LoadLe32(block.data() + kBlockChecksumOffset);

  const std::span<uint8_t> expanded = output.first(declared_size);
  BitReader in(block.data() + kBlockHeaderSize, block.data() + block.size());
  OutputCursor out(expanded);
  if (!ExpandStream(in, out)) return 0;
  if (out.Written() != declared_size) return 0;
  if (checksum != 0 && BlockChecksum(expanded) != checksum) return 0;
  return declared_size;
}

}  // namespace kv
