// Test-only writer of block bit streams: codes are spelled out one by one so
// that each test shows exactly which stream it feeds the decoder.
#pragma once

#include <cstdint>
#include <vector>

namespace kv::test {

class BitWriter {
 public:
  void Bit(uint32_t bit) {
    current_ = (current_ << 1) | (bit & 1u);
    if (++used_ == 32) Flush();
  }
  void Bits(uint32_t value, unsigned count) {
    while (count-- > 0) Bit(value >> count);
  }
  // Gamma number (>= 2): the digits after the leading 1, each followed by a
  // continuation bit.
  void Gamma(uint32_t value) {
    int top = 31;
    while (!(value >> top)) --top;
    for (int digit = top - 1; digit >= 0; --digit) {
      Bit(value >> digit);
      Bit(digit > 0 ? 1 : 0);
    }
  }

  // --- The codes of the block format. ---
  void Literal(uint32_t value, unsigned width = 8) {
    Bit(1);
    Bits(value, width);
  }
  void LiteralWidth8() {
    Bits(0b001, 3);
    Bits(0, 4);
    Bit(0);
    Bit(1);
  }
  void LiteralWidth7(uint8_t bias) {
    Bits(0b001, 3);
    Bits(0, 4);
    Bit(0);
    Bit(0);
    Bits(bias, 8);
  }
  void RepeatMatch(uint32_t length) {
    Bits(0b01, 2);
    Gamma(2);
    Gamma(length);
  }
  // `length_code` is the gamma value; the decoder adds the offset's bonus.
  void LongMatch(uint32_t offset, uint32_t length_code, unsigned offset_width = 8) {
    Bits(0b01, 2);
    Gamma((offset >> offset_width) + 3);
    Bits(offset & ((1u << offset_width) - 1), offset_width);
    Gamma(length_code);
  }
  void ShortMatch(uint32_t offset, uint32_t length) {
    Bits(0b000, 3);
    Bits(offset, 7);
    Bits(length - 2, 2);
  }
  void OffsetWidth(uint32_t selector, uint32_t width) {
    Bits(0b000, 3);
    Bits(0, 7);
    Bits(selector, 2);
    Bits(width, selector + 3);
  }
  void OneByteCopy(uint32_t offset) {
    Bits(0b001, 3);
    Bits(offset + 1, 4);
  }
  void ZeroByte() {
    Bits(0b001, 3);
    Bits(1, 4);
  }
  // Raw runs of 256 bytes each; `bytes` must be a multiple of 256 long.
  void RawRuns(const std::vector<uint8_t>& bytes) {
    Bits(0b001, 3);
    Bits(0, 4);
    Bit(1);
    for (size_t i = 0; i < bytes.size(); ++i) {
      Bits(bytes[i], 8);
      if (i % 256 == 255) Bit(i + 1 < bytes.size() ? 1 : 0);
    }
  }
  void End() {
    Bits(0b000, 3);
    Bits(0, 7);
    Bits(0, 2);
  }

  // The stream so far, the last word padded with zero bits.
  std::vector<uint8_t> Finish() {
    if (used_ != 0) {
      current_ <<= (32 - used_);
      used_ = 32;
      Flush();
    }
    return bytes_;
  }

 private:
  void Flush() {
    for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<uint8_t>(current_ >> (8 * i)));
    current_ = 0;
    used_ = 0;
  }

  std::vector<uint8_t> bytes_;
  uint32_t current_ = 0;
  unsigned used_ = 0;
};

}  // namespace kv::test
