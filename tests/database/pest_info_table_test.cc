// The pest information table: record layout, lookups, bounds, host copies.
#include "database/pest_info_table.h"

#include <gtest/gtest.h>

#include <memory>

#include "support/info_payload.h"
#include "support/test_files.h"

namespace kv {
namespace {

using test::AppendInfoRecord;
using test::Bytes;

using HostCopy =
    std::unique_ptr<_DETAILED_PEST_INFORMATION, decltype(&FreeDetailedPestInformation)>;
HostCopy Copy(const PestInfoRecord& record) {
  return HostCopy(CopyForHost(record), &FreeDetailedPestInformation);
}

TEST(PestInfoTable, ThirdAndFourthOffsetsAreCrossed) {
  Bytes payload;
  payload.insert(payload.end(), 24, 0);
  // Offsets by hand: offset 3 designates "FOURTH", offset 4 "THIRD".
  const std::string area = std::string("one\0two\0FOURTH\0THIRD\0five\0", 27);
  const uint32_t offsets[5] = {0, 4, 8, 15, 21};
  StoreLe32(payload.data(), 42);
  for (int i = 0; i < 5; ++i) StoreLe32(payload.data() + 4 + 4 * i, offsets[i]);
  payload.insert(payload.end(), area.begin(), area.end());

  PestInfoTable table;
  table.Parse(payload, 1);
  ASSERT_EQ(table.count(), 1);
  const HostCopy copy = Copy(*table.At(0));
  EXPECT_EQ(copy->dwPestID, 42u);
  EXPECT_STREQ(copy->lpszText1, "one");
  EXPECT_STREQ(copy->lpszText2, "two");
  EXPECT_STREQ(copy->lpszText3, "THIRD");
  EXPECT_STREQ(copy->lpszText4, "FOURTH");
  EXPECT_STREQ(copy->lpszText5, "five");
}

TEST(PestInfoTable, LooksUpByIndexAndFirstIdAndCopiesEmptyTextsAsEmptyStrings) {
  Bytes payload;
  AppendInfoRecord(payload, 7, {"a", "b", "", "d", "e"});
  AppendInfoRecord(payload, 9, {"first", "", "", "", ""});
  AppendInfoRecord(payload, 9, {"second", "", "", "", ""});
  PestInfoTable table;
  table.Parse(payload, 3);
  ASSERT_EQ(table.count(), 3);

  EXPECT_EQ(table.At(-1), nullptr);
  EXPECT_EQ(table.At(3), nullptr);
  EXPECT_EQ(table.ById(8), nullptr);
  ASSERT_NE(table.ById(9), nullptr);
  EXPECT_EQ(table.ById(9)->texts[0], "first");

  const HostCopy copy = Copy(*table.ById(7));
  ASSERT_NE(copy->lpszText3, nullptr);
  EXPECT_STREQ(copy->lpszText3, "");
  EXPECT_STREQ(copy->lpszText4, "d");
}

struct BoundsCase {
  const char* name;
  int32_t header_count;
  size_t cut_bytes;  // taken off the end of a three-record payload
  int32_t expected;
};
void PrintTo(const BoundsCase& c, std::ostream* os) { *os << c.name; }

class PestInfoBounds : public testing::TestWithParam<BoundsCase> {};

TEST_P(PestInfoBounds, KeepsWhatThePayloadHolds) {
  Bytes payload;
  for (uint32_t id = 1; id <= 3; ++id) AppendInfoRecord(payload, id, {"x", "y", "z", "w", "v"});
  payload.resize(payload.size() - GetParam().cut_bytes);
  PestInfoTable table;
  table.Parse(payload, GetParam().header_count);
  EXPECT_EQ(table.count(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Counts, PestInfoBounds,
                         testing::Values(BoundsCase{"Exact", 3, 0, 3},
                                         BoundsCase{"FewerThanStored", 2, 0, 2},
                                         BoundsCase{"Negative", -5, 0, 0},
                                         BoundsCase{"HugeCountClamped", 0x7FFFFFFF, 0, 3},
                                         BoundsCase{"LastStringUnterminated", 3, 1, 2},
                                         BoundsCase{"LastRecordHeadCut", 3, 30, 2}));

TEST(PestInfoTable, OffsetsPointingOutsideThePayloadStopTheWalk) {
  Bytes payload;
  AppendInfoRecord(payload, 1, {"a", "b", "c", "d", "e"});
  Bytes hostile(24, 0);
  StoreLe32(hostile.data() + 4, 0xFFFFFFF0u);
  payload.insert(payload.end(), hostile.begin(), hostile.end());
  payload.push_back(0);
  PestInfoTable table;
  table.Parse(payload, 2);
  EXPECT_EQ(table.count(), 1);
}

TEST(PestInfoTable, LoadsAFileAndKeepsTheTableWhenALoadFails) {
  Bytes payload;
  AppendInfoRecord(payload, 5, {"Trojan", "", "", "", "remove it"});
  test::ContainerOptions options;
  options.record_count = 1;
  test::TempFolder folder;
  const std::string path = folder.File("KVINFO.DAT");
  test::WriteFileBytes(path, test::MakeDataFile(test::LiteralBlock(payload), options));

  PestInfoTable table;
  ASSERT_EQ(table.Load(path.c_str()), Status::kOk);
  ASSERT_EQ(table.count(), 1);
  EXPECT_EQ(table.Load(folder.File("missing").c_str()), Status::kCannotOpen);
  EXPECT_EQ(table.count(), 1);
  EXPECT_EQ(table.At(0)->texts[4], "remove it");
  FreeDetailedPestInformation(nullptr);  // accepted
}

}  // namespace
}  // namespace kv
