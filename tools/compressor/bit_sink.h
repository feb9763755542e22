// Writes the block's bit stream: most significant bit first into 32-bit words
// stored little-endian, with one function per code of the format.
#pragma once

#include <cstdint>
#include <vector>

namespace kv::compressor {

class BitSink {
 public:
  explicit BitSink(std::vector<uint8_t>* out) : out_(out) {}

  void Bits(uint32_t value, unsigned count) {
    while (count > 0) {
      const unsigned room = 32 - used_;
      const unsigned take = count < room ? count : room;
      count -= take;
      const uint32_t part = (take == 32 ? value : (value >> count) & ((1u << take) - 1));
      current_ = take == 32 ? part : (current_ << take) | part;
      used_ += take;
      if (used_ == 32) Flush();
    }
  }
  void Bit(uint32_t bit) { Bits(bit & 1u, 1); }

  void Gamma(uint32_t value) {
    for (int digit = 30 - __builtin_clz(value); digit >= 0; --digit) {
      Bits(((value >> digit) & 1u) << 1 | (digit > 0 ? 1u : 0u), 2);
    }
  }

  void Literal(uint32_t value, unsigned width) { Bits((1u << width) | value, width + 1); }
  void LiteralWidth8() { Bits(0b001'0000'0'1, 9); }
  void LiteralWidth7(uint8_t bias) {
    Bits(0b001'0000'0'0, 9);
    Bits(bias, 8);
  }
  void ZeroByte() { Bits(0b001'0001, 7); }
  void OneByteCopy(uint32_t offset) { Bits(0b001'0000 | (offset + 1), 7); }
  void ShortMatch(uint32_t offset, uint32_t length) { Bits((offset << 2) | (length - 2), 12); }
  void RepeatMatch(uint32_t length) {
    Bits(0b01, 2);
    Gamma(2);
    Gamma(length);
  }
  void LongMatch(uint32_t offset, uint32_t length, uint32_t width, uint32_t bonus) {
    Bits(0b01, 2);
    Gamma((offset >> width) + 3);
    Bits(offset & ((1u << width) - 1), width);
    Gamma(length - bonus);
  }
  void OffsetWidth(uint32_t width) {
    const uint32_t selector = width < 16 ? 1 : 2;
    Bits(selector, 12);
    Bits(width, selector + 3);
  }
  void RawRunStart() { Bits(0b001'0000'1, 8); }
  void End() { Bits(0, 12); }

  // Pads the last word with zero bits.
  void Finish() {
    if (used_ != 0) {
      current_ <<= (32 - used_);
      Flush();
    }
  }

 private:
  void Flush() {
    for (int i = 0; i < 4; ++i) out_->push_back(static_cast<uint8_t>(current_ >> (8 * i)));
    current_ = 0;
    used_ = 0;
  }

  std::vector<uint8_t>* out_;
  uint32_t current_ = 0;
  unsigned used_ = 0;
};

}  // namespace kv::compressor
