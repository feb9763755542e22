// Large tables: filled as asked, writable to the last word on both sides of
// the huge-page size, and handed over whole by a move.
#include "platform/memory.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace kv::platform {
namespace {

TEST(LargeArray, IsFilledAndWritableOnEitherSideOfTheHugePageSize) {
  // Words: none, a few, just under 2 MiB, and a ragged count over 2 MiB.
  for (const size_t count : {size_t{0}, size_t{3}, (size_t{2} << 20) / 4 - 1, size_t{1300001}}) {
    SCOPED_TRACE(count);
    for (const uint32_t fill : {0u, 0xFFFFFFFFu}) {
      LargeTable table(count, fill);
      ASSERT_EQ(table.size(), count);
      if (count == 0) continue;
      ASSERT_NE(table.data(), nullptr);
      EXPECT_EQ(table[0], fill);
      EXPECT_EQ(table[count / 2], fill);
      EXPECT_EQ(table[count - 1], fill);
      table[count - 1] = 7;
      EXPECT_EQ(table[count - 1], 7u);
    }
  }
}

TEST(LargeArray, MoveHandsTheMemoryOver) {
  LargeArray<uint8_t> bytes(5000000, 0x5A);
  const uint8_t* data = bytes.data();
  LargeArray<uint8_t> moved(std::move(bytes));
  EXPECT_EQ(moved.data(), data);
  EXPECT_EQ(moved.size(), 5000000u);
  EXPECT_EQ(bytes.size(), 0u);  // NOLINT(bugprone-use-after-move): checks the moved-from state
  EXPECT_EQ(bytes.data(), nullptr);
  LargeArray<uint8_t> assigned(10, 1);
  assigned = std::move(moved);
  EXPECT_EQ(assigned.data(), data);
  EXPECT_EQ(assigned[4999999], 0x5A);
}

}  // namespace
}  // namespace kv::platform
