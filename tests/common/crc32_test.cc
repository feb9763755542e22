// CRC-32 against published check values, and incremental use.
#include "common/crc32.h"

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
}  // namespace kv
