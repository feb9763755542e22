// Signature table: records taken from a payload, the PVT index, FindPest on
// both paths, names, the size cursor's start, and hostile record counts.
#include "database/signature_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/byte_order.h"
#include "support/signature_file.h"

namespace kv {
namespace {

using test::SignatureRecord;

std::unique_ptr<SignatureTable> BuildTable(const test::Bytes& payload, int32_t declared_count) {
  return SignatureTable::Build(payload, declared_count);
}

std::unique_ptr<SignatureTable> BuildTable(const std::vector<SignatureRecord>& records) {
  return BuildTable(test::SignaturePayload(records), static_cast<int32_t>(records.size()));
}

uint32_t IdOf(const _PEST_SIGNATURE* signature) {
  return signature == nullptr ? 0 : signature->dwPestID;
}

constexpr uint32_t kCrc = 0x1234ABCDu;

// Ids 1.. in file order; sizes ascending. Pests 2 and 3 share a PVT, pest 4
// stores the complement of kCrc, pest 5 has an alternate key.
const std::vector<SignatureRecord> kRecords = {
    {.pest_id = 1, .pvt = 0x11111111, .file_size = 100, .name = "Alpha.Trojan"},
    {.pest_id = 2, .pvt = 0x22222222, .file_size = 200, .name = "Beta", .gap_length = 5},
    {.pest_id = 3, .pvt = 0x22222222, .file_size = 200, .name = "beta"},
    {.pest_id = 4, .pvt = ~kCrc, .file_size = 300, .name = "Gamma"},
    {.pest_id = 5, .pvt = 0x55555555, .file_size = 400, .name = "Delta", .alt_key = 0xA17},
};

TEST(SignatureTable, CopiesTheSixWordsAndTheNameAfterTheGap) {
  const std::vector<SignatureRecord> records = {{.pest_id = 7,
                                                 .pvt = 8,
                                                 .file_size = 12,
                                                 .name = "NoGap",
                                                 .alt_key = 11,
                                                 .extra1 = 9,
                                                 .extra2 = 10},
                                                {.pest_id = 1,
                                                 .pvt = 2,
                                                 .file_size = 6,
                                                 .name = "After.Gap",
                                                 .alt_key = 5,
                                                 .extra1 = 3,
                                                 .extra2 = 4,
                                                 .gap_length = 300}};
  const auto table = BuildTable(records);
  ASSERT_EQ(table->count(), 2);
  const _PEST_SIGNATURE& first = table->at(0);
  EXPECT_EQ(std::vector<uint32_t>({first.dwPestID, first.dwPVT, first.dwExtra1, first.dwExtra2,
                                   first.dwAltKey, first.dwFileSize}),
            std::vector<uint32_t>({7, 8, 9, 10, 11, 12}));
  EXPECT_STREQ(first.lpszPestName, "NoGap");
  EXPECT_STREQ(table->at(1).lpszPestName, "After.Gap");
  EXPECT_EQ(table->at(1).dwFileSize, 6u);
  EXPECT_EQ(table->max_file_size(), 12u);  // the largest, not the last
  EXPECT_EQ(table->pvt_index().slot_count(), 5u);
}

TEST(SignatureTable, SharedPvtFindsTheFirstInFile) {
  const auto table = BuildTable(kRecords);
  EXPECT_EQ(IdOf(table->LookupPVT(0x22222222)), 2u);
  EXPECT_EQ(IdOf(table->FindPest(0x22222222, 0, 0, 0)), 2u);
  EXPECT_EQ(IdOf(table->FindPest(0x22222222, 0, 7, 0)), 2u);  // linear path too
}

TEST(SignatureTable, ComplementPvtIsFoundByFindPestButNotByExactLookup) {
  const auto table = BuildTable(kRecords);
  EXPECT_EQ(IdOf(table->FindPest(kCrc, 0, 0, 0)), 4u);
  EXPECT_EQ(table->LookupPVT(kCrc), nullptr);
  EXPECT_EQ(IdOf(table->LookupPVT(~kCrc)), 4u);
}

struct FindCase {
  const char* name;
  uint32_t pvt, c, d;
  uint32_t expected_id;  // 0: not found
};
void PrintTo(const FindCase& c, std::ostream* os) { *os << c.name; }

class FindPestCase : public testing::TestWithParam<FindCase> {};

TEST_P(FindPestCase, FindsTheExpectedRecordWhateverTheSecondArgument) {
  const auto table = BuildTable(kRecords);
  const FindCase& c = GetParam();
  for (uint32_t second : {0u, 1u, 0x22222222u, ~kCrc, 0xFFFFFFFFu}) {
    EXPECT_EQ(IdOf(table->FindPest(c.pvt, second, c.c, c.d)), c.expected_id) << "second " << second;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, FindPestCase,
    testing::Values(FindCase{"HashPath", 0x11111111, 0, 0, 1},
                    FindCase{"HashPathCAndDUncomputed", 0x55555555, 0xFFFFFFFF, 0xFFFFFFFF, 5},
                    FindCase{"HashPathMiss", 0x99999999, 0, 0, 0},
                    FindCase{"PvtZeroNeverMatches", 0, 0, 0, 0},
                    FindCase{"PvtAllOnesNeverMatches", 0xFFFFFFFF, 0, 0, 0},
                    FindCase{"LinearByPvtWhenCComputed", 0x55555555, 5, 0, 5},
                    FindCase{"LinearByComplementWhenCComputed", kCrc, 5, 0, 4},
                    FindCase{"LinearByAltKey", 0, 0, 0xA17, 5},
                    FindCase{"LinearAltKeyWithUncomputedPvt", 0xFFFFFFFF, 3, 0xA17, 5},
                    FindCase{"LinearFirstOfPvtOrAltKey", 0x11111111, 0, 0xA17, 1},
                    FindCase{"LinearCAloneMatchesNothing", 0, 0x11111111, 0, 0},
                    FindCase{"LinearMiss", 0x99999999, 1, 2, 0}),
    [](const testing::TestParamInfo<FindCase>& info) { return info.param.name; });

TEST(SignatureTable, NamesCompareWithAsciiLettersFolded) {
  auto records = kRecords;
  records.push_back({.pest_id = 6, .pvt = 6, .file_size = 500, .name = "\xC4rger"});
  const auto table = BuildTable(records);
  EXPECT_EQ(IdOf(table->FindPestByName("alpha.trojan")), 1u);
  EXPECT_EQ(IdOf(table->FindPestByName("ALPHA.TROJAN")), 1u);
  EXPECT_EQ(IdOf(table->FindPestByName("bEtA")), 2u);  // the first of two
  EXPECT_EQ(IdOf(table->FindPestByName("\xC4rger")), 6u);
  EXPECT_EQ(table->FindPestByName("\xE4rger"), nullptr);  // not an ASCII letter
  EXPECT_EQ(table->FindPestByName("Alpha"), nullptr);
  EXPECT_EQ(table->FindPestByName(""), nullptr);
  EXPECT_EQ(table->FindPestByName(nullptr), nullptr);
}

TEST(SignatureTable, EmptyTableFindsNothing) {
  const auto table = BuildTable({});
  EXPECT_EQ(table->count(), 0);
  EXPECT_EQ(table->max_file_size(), 0u);
  EXPECT_EQ(table->pvt_index().slot_count(), 1u);
  EXPECT_EQ(table->FindPest(kCrc, 0, 0, 0), nullptr);
  EXPECT_EQ(table->FindPest(kCrc, 0, 1, 1), nullptr);
  EXPECT_EQ(table->FindPestByName("Alpha.Trojan"), nullptr);
}

// Hostile or short payloads: counts bounded before allocating, walks that
// stop at a record running past the end.
struct BoundsCase {
  const char* name;
  int32_t declared;
  size_t cut_bytes;  // removed from the payload's end
  std::vector<uint32_t> expected_ids;
  uint32_t expected_slots;
};
void PrintTo(const BoundsCase& c, std::ostream* os) { *os << c.name; }

class HostilePayload : public testing::TestWithParam<BoundsCase> {};

// Three records of 32 + 3 bytes each: 105 bytes, room for 3 minimal ones.
const std::vector<SignatureRecord> kThree = {{.pest_id = 1, .pvt = 1, .name = "ab"},
                                             {.pest_id = 2, .pvt = 2, .name = "cd"},
                                             {.pest_id = 3, .pvt = 3, .name = "ef"}};

TEST_P(HostilePayload, KeepsWhatFitsAndBoundsTheIndex) {
  test::Bytes payload = test::SignaturePayload(kThree);
  payload.resize(payload.size() - GetParam().cut_bytes);
  const auto table = BuildTable(payload, GetParam().declared);
  std::vector<uint32_t> ids;
  for (int32_t i = 0; i < table->count(); ++i) ids.push_back(table->at(i).dwPestID);
  EXPECT_EQ(ids, GetParam().expected_ids);
  EXPECT_EQ(table->pvt_index().slot_count(), GetParam().expected_slots);
}

INSTANTIATE_TEST_SUITE_P(
    Counts, HostilePayload,
    testing::Values(BoundsCase{"Sound", 3, 0, {1, 2, 3}, 7},
                    BoundsCase{"FewerDeclaredThanPresent", 2, 0, {1, 2}, 5},
                    BoundsCase{"NegativeCountIsZero", -5, 0, {}, 1},
                    BoundsCase{"HugeCountClampedToPayload", 0x7FFFFFFF, 0, {1, 2, 3}, 7},
                    BoundsCase{"MinusOneClampedToZero", -1, 0, {}, 1},
                    BoundsCase{"LastNameWithoutTerminator", 3, 1, {1, 2}, 7},
                    BoundsCase{"LastNameCutAway", 3, 3, {1, 2}, 7},
                    BoundsCase{"LastHeadCut", 3, 10, {1, 2}, 5},
                    BoundsCase{"ClampFollowsTheCutPayload", 100, 40, {1}, 3}),
    [](const testing::TestParamInfo<BoundsCase>& info) { return info.param.name; });

TEST(SignatureTable, GapRunningPastTheEndStopsTheWalk) {
  test::Bytes payload = test::SignaturePayload(kThree);
  StoreLe32(&payload[35 + 28], 0xFFFFFFF0u);  // second record's gap length
  const auto table = BuildTable(payload, 3);
  ASSERT_EQ(table->count(), 1);
  EXPECT_STREQ(table->at(0).lpszPestName, "ab");
}

// Size cursor start: sizes with runs at the start, middle and end.
struct SizeCase {
  const char* name;
  std::vector<uint32_t> sizes;
  uint32_t size;
  size_t expected_start;
};
void PrintTo(const SizeCase& c, std::ostream* os) { *os << c.name; }

class SizeSearch : public testing::TestWithParam<SizeCase> {};

TEST_P(SizeSearch, StartsAtTheRunOrBeforeIt) {
  std::vector<SignatureRecord> records;
  for (uint32_t size : GetParam().sizes) {
    records.push_back({.pest_id = size, .pvt = size, .file_size = size, .name = "x"});
  }
  EXPECT_EQ(BuildTable(records)->SizeSearchStart(GetParam().size), GetParam().expected_start);
}

INSTANTIATE_TEST_SUITE_P(Runs, SizeSearch,
                         testing::Values(SizeCase{"RunAtStart", {5, 5, 5, 7, 9, 11}, 5, 0},
                                         SizeCase{"RunInMiddle", {1, 2, 4, 4, 4, 4, 8, 9}, 4, 2},
                                         SizeCase{"RunAtEnd", {1, 2, 3, 9, 9, 9}, 9, 3},
                                         SizeCase{"WholeTableOneRun", {6, 6, 6, 6}, 6, 0},
                                         SizeCase{"EmptyTable", {}, 6, 0},
                                         SizeCase{"SingleRecord", {6}, 6, 0}),
                         [](const testing::TestParamInfo<SizeCase>& info) {
                           return info.param.name;
                         });

}  // namespace
}  // namespace kv
