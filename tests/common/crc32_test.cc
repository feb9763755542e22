// CRC-32 against published check values, incremental use, and every method
// against a one-byte table loop on many lengths and alignments.
#include "common/crc32.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <vector>

#include "common/crc32_methods.h"

namespace kv {
namespace {

TEST(Crc32, MatchesStandardCheckValues) {
  EXPECT_EQ(Crc32("", 0), 0u);
  EXPECT_EQ(Crc32("123456789", 9), 0xCBF43926u);
  const std::string fox = "The quick brown fox jumps over the lazy dog";
  EXPECT_EQ(Crc32(fox.data(), fox.size()), 0x414FA339u);
}

TEST(Crc32, UpdateInPiecesEqualsOneUpdate) {
  const std::string text = "123456789";
  uint32_t state = kCrc32Start;
  state = Crc32Update(state, text.data(), 4);
  state = Crc32Update(state, text.data() + 4, 5);
  EXPECT_EQ(~state, 0xCBF43926u);
}

// The reference: one table lookup per byte, the table built bit by bit.
uint32_t ReferenceUpdate(uint32_t state, const uint8_t* bytes, size_t length) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> built{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t value = i;
      for (int bit = 0; bit < 8; ++bit) value = (value >> 1) ^ ((value & 1u) ? 0xEDB88320u : 0);
      built[i] = value;
    }
    return built;
  }();
  for (size_t i = 0; i < length; ++i) state = table[(state ^ bytes[i]) & 0xFFu] ^ (state >> 8);
  return state;
}

std::vector<uint8_t> RandomBytes(size_t count, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes(count);
  for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random());
  return bytes;
}

class Crc32MethodTest : public testing::TestWithParam<Crc32Method> {
 protected:
  void SetUp() override {
    if (!Crc32MethodAvailable(GetParam())) {
      GTEST_SKIP() << "this build or processor cannot run the method";
    }
  }
  uint32_t Update(uint32_t state, const uint8_t* bytes, size_t length) const {
    return Crc32UpdateWith(GetParam(), state, bytes, length);
  }
};

// Every length up to 300 from every start modulo 16, and from a state other
// than the usual start, so that each step size and each tail length is hit.
TEST_P(Crc32MethodTest, MatchesByteLoopOnShortLengthsAtEveryAlignment) {
  const std::vector<uint8_t> bytes = RandomBytes(300 + 16, 1);
  for (size_t offset = 0; offset < 16; ++offset) {
    for (size_t length = 0; length <= 300; ++length) {
      for (uint32_t start : {kCrc32Start, 0x12345678u}) {
        ASSERT_EQ(Update(start, bytes.data() + offset, length),
                  ReferenceUpdate(start, bytes.data() + offset, length))
            << "offset " << offset << ", length " << length << ", start " << start;
      }
    }
  }
}

TEST_P(Crc32MethodTest, MatchesByteLoopOnLargeLengthsAtOddOffsets) {
  const std::vector<uint8_t> bytes = RandomBytes((1u << 20) + 64, 2);
  for (size_t length : {2047u, 2048u, 4095u, 4096u, 65537u, 1u << 20}) {
    for (size_t offset : {0u, 1u, 7u, 13u, 63u}) {
      EXPECT_EQ(Update(kCrc32Start, bytes.data() + offset, length),
                ReferenceUpdate(kCrc32Start, bytes.data() + offset, length))
          << "offset " << offset << ", length " << length;
    }
  }
}

// Uniform bytes are where a wrong fold constant would cancel out least
// visibly; all-ones and all-zeros runs cover them.
TEST_P(Crc32MethodTest, MatchesByteLoopOnUniformBytes) {
  for (uint8_t fill : {0x00, 0xFF, 0x80}) {
    const std::vector<uint8_t> bytes(5000, fill);
    for (size_t length : {64u, 65u, 127u, 128u, 1000u, 5000u}) {
      EXPECT_EQ(Update(0, bytes.data(), length), ReferenceUpdate(0, bytes.data(), length))
          << "fill " << int{fill} << ", length " << length;
    }
  }
}

TEST_P(Crc32MethodTest, UpdateInPiecesEqualsOneUpdate) {
  const std::vector<uint8_t> bytes = RandomBytes(10000, 3);
  const uint32_t whole = Update(kCrc32Start, bytes.data(), bytes.size());
  for (size_t cut : {1u, 15u, 64u, 100u, 2047u, 9999u}) {
    const uint32_t first = Update(kCrc32Start, bytes.data(), cut);
    EXPECT_EQ(Update(first, bytes.data() + cut, bytes.size() - cut), whole) << "cut at " << cut;
  }
}

INSTANTIATE_TEST_SUITE_P(AllMethods, Crc32MethodTest,
                         testing::Values(Crc32Method::kSlicing, Crc32Method::kCarrylessMultiply),
                         [](const testing::TestParamInfo<Crc32Method>& info) {
                           return info.param == Crc32Method::kSlicing ? "Slicing"
                                                                      : "CarrylessMultiply";
                         });

// Crc32Update, whichever method it picks, agrees with the reference.
TEST(Crc32, UpdateMatchesByteLoopAcrossTheMethodThreshold) {
  const std::vector<uint8_t> bytes = RandomBytes(4096 + 3, 4);
  for (size_t length : {0u, 15u, 16u, 63u, 64u, 79u, 80u, 2047u, 4096u}) {
    EXPECT_EQ(Crc32Update(kCrc32Start, bytes.data() + 3, length),
              ReferenceUpdate(kCrc32Start, bytes.data() + 3, length))
        << "length " << length;
  }
}

}  // namespace
}  // namespace kv
