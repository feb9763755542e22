// PVT index: the first record of each key, the collision count that linear
// probing over 2n + 1 slots would give, and bounded work on tables built to
// defeat it.
#include "database/pvt_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <random>
#include <string>
#include <vector>

#include "database/signature_table.h"
#include "support/signature_file.h"

namespace kv {
namespace {

PvtIndex BuildIndex(const std::vector<uint32_t>& keys, uint32_t capacity) {
  return PvtIndex::Build(keys, capacity);
}

// The statistic's definition: keys stored in order by linear probing over
// 2 * capacity + 1 slots, each taking the first free slot from its home
// (key modulo the slot count) on, wrapping; a key whose home slot is taken
// counts once.
int32_t LinearProbingCollisions(const std::vector<uint32_t>& keys, uint32_t capacity) {
  const uint32_t slots = 2 * capacity + 1;
  std::vector<bool> taken(slots);
  int32_t collisions = 0;
  for (const uint32_t key : keys) {
    uint32_t slot = key % slots;
    if (taken[slot]) ++collisions;
    while (taken[slot]) slot = slot + 1 == slots ? 0 : slot + 1;
    taken[slot] = true;
  }
  return collisions;
}

TEST(PvtIndex, CountsEachInsertionWhoseHomeIsTakenOnce) {
  // 7 slots: 10 and 17 find home 3 taken (17 passes two taken slots, still
  // one collision); 6 finds its home free.
  const PvtIndex index = BuildIndex({3, 10, 17, 6}, 3);
  EXPECT_EQ(index.slot_count(), 7u);
  EXPECT_EQ(index.collisions(), 2);
  EXPECT_EQ(index.Find(17), 2);
  EXPECT_EQ(index.Find(6), 3);
  EXPECT_EQ(index.Find(24), -1);  // home 3 too
}

TEST(PvtIndex, MoreKeysThanTwiceTheCapacityStillFindFreeSlots) {
  // Seven keys cannot fit 2 * 3 + 1 slots with one to spare: nine it is.
  const PvtIndex index = BuildIndex({9, 9, 9, 9, 9, 9, 9}, 3);
  EXPECT_EQ(index.slot_count(), 9u);
  EXPECT_EQ(index.collisions(), 6);
  EXPECT_EQ(index.Find(9), 0);
}

TEST(PvtIndex, OfNoLoadHasNoSlotsAndFindsNothing) {
  const PvtIndex index;
  EXPECT_EQ(index.slot_count(), 0u);
  EXPECT_EQ(index.collisions(), 0);
  EXPECT_EQ(index.Find(0), -1);
  EXPECT_EQ(index.Find(17), -1);
}

struct KeyCase {
  const char* name;
  uint32_t capacity;
  std::vector<uint32_t> keys;
};
void PrintTo(const KeyCase& c, std::ostream* os) { *os << c.name; }

std::vector<uint32_t> Random(size_t count, uint32_t below, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint32_t> keys(count);
  for (uint32_t& key : keys) key = below == 0 ? static_cast<uint32_t>(random()) : random() % below;
  return keys;
}

std::vector<uint32_t> Hostile(test::Hostile kind, uint32_t n) {
  std::vector<uint32_t> keys;
  for (const auto& record : test::HostileSignatures(kind, n)) keys.push_back(record.pvt);
  return keys;
}

// 40 keys whose home is the last of 101 slots, so that their cluster wraps
// round to slot 0, then keys with homes 0 to 19 that run into it.
std::vector<uint32_t> WrappingCluster() {
  std::vector<uint32_t> keys;
  for (uint32_t i = 0; i < 40; ++i) keys.push_back(100 + 101 * i);
  for (uint32_t i = 0; i < 20; ++i) keys.push_back(i * 3 % 20);
  return keys;
}

const KeyCase kKeyCases[] = {
    {"NoKeys", 4, {}},
    {"HomesTakenInARow", 3, {3, 10, 17, 6}},
    {"RandomKeys", 3000, Random(3000, 0, 1)},
    {"RepeatsInFewHomes", 3000, Random(3000, 1000, 2)},
    {"EqualKeys", 2000, Hostile(test::Hostile::kEqualPvts, 2000)},
    {"SameHomeSlot", 2000, Hostile(test::Hostile::kSameHomeSlot, 2000)},
    {"ConsecutiveKeys", 2000, Hostile(test::Hostile::kConsecutivePvts, 2000)},
    {"KeysAtTheTopOfTheRange", 100, {0xFFFFFFFFu, 0xFFFFFFFEu, 0xFFFFFFFFu, 0xFFFFFF00u}},
    {"ClusterWrapsPastTheEnd", 50, WrappingCluster()},
    {"CapacityAboveTheKeys", 500, Random(40, 50, 3)},
};

class PvtIndexKeys : public testing::TestWithParam<KeyCase> {};

TEST_P(PvtIndexKeys, CountsTheCollisionsOfLinearProbing) {
  const KeyCase& c = GetParam();
  const PvtIndex index = BuildIndex(c.keys, c.capacity);
  EXPECT_EQ(index.slot_count(), 2 * c.capacity + 1);
  EXPECT_EQ(index.collisions(), LinearProbingCollisions(c.keys, c.capacity));
}

TEST_P(PvtIndexKeys, FindsTheFirstRecordOfEachKeyAndNothingElse) {
  const KeyCase& c = GetParam();
  const PvtIndex index = BuildIndex(c.keys, c.capacity);
  for (size_t i = 0; i < c.keys.size(); ++i) {
    const auto first = std::find(c.keys.begin(), c.keys.end(), c.keys[i]) - c.keys.begin();
    ASSERT_EQ(index.Find(c.keys[i]), first) << "key " << c.keys[i];
    for (const uint32_t miss : {c.keys[i] + 1, c.keys[i] - 1, ~c.keys[i]}) {
      if (std::find(c.keys.begin(), c.keys.end(), miss) != c.keys.end()) continue;
      ASSERT_EQ(index.Find(miss), -1) << "key " << miss;
    }
  }
  EXPECT_EQ(index.Find(0x9E3779B9u), -1);
}

INSTANTIATE_TEST_SUITE_P(Keys, PvtIndexKeys, testing::ValuesIn(kKeyCases),
                         [](const testing::TestParamInfo<KeyCase>& info) {
                           return std::string(info.param.name);
                         });

// A crafted KVFILE.DAT of n records that all share one PVT, or whose PVTs all
// share one home slot, must cost a few probes per record to index and a
// bounded number per lookup: work counted, not timed.
struct HostileCase {
  const char* name;
  test::Hostile kind;
  uint32_t count;
};
void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.name; }

class HostileTable : public testing::TestWithParam<HostileCase> {};

TEST_P(HostileTable, CostsBoundedProbesToBuildAndToSearch) {
  const HostileCase& c = GetParam();
  const std::vector<test::SignatureRecord> records = test::HostileSignatures(c.kind, c.count);
  const std::unique_ptr<SignatureTable> table =
      SignatureTable::Build(test::SignaturePayload(records), static_cast<int32_t>(c.count));
  ASSERT_EQ(table->count(), static_cast<int32_t>(c.count));
  const PvtIndex& index = table->pvt_index();
  EXPECT_LE(index.build_probes(), 4 * uint64_t{c.count});

  // Every record's key, and the values beside each that no record has:
  // misses that land among the keys.
  std::vector<uint32_t> sorted;
  for (const auto& record : records) sorted.push_back(record.pvt);
  std::sort(sorted.begin(), sorted.end());
  const uint32_t most = 2 * static_cast<uint32_t>(std::bit_width(c.count)) + 4;
  uint32_t worst = 0;
  size_t misses = 0;
  for (uint32_t i = 0; i < c.count; ++i) {
    const uint32_t key = records[i].pvt;
    uint32_t probes = 0;
    const int32_t found = index.Find(key, &probes);
    worst = std::max(worst, probes);
    ASSERT_EQ(table->at(static_cast<size_t>(found)).dwPVT, key);
    ASSERT_LE(static_cast<uint32_t>(found), i);
    for (const uint32_t beside : {key - 1, key + 1}) {
      if (std::binary_search(sorted.begin(), sorted.end(), beside)) continue;
      ASSERT_EQ(index.Find(beside, &probes), -1);
      worst = std::max(worst, probes);
      ++misses;
    }
  }
  EXPECT_GT(misses, 0u);
  EXPECT_LE(worst, most);
}

INSTANTIATE_TEST_SUITE_P(
    Files, HostileTable,
    testing::Values(HostileCase{"EqualPvts", test::Hostile::kEqualPvts, 20'000},
                    HostileCase{"SameHomeSlot", test::Hostile::kSameHomeSlot, 20'000},
                    // More records than 32-bit PVTs of one residue: they repeat.
                    HostileCase{"SameHomeSlotRepeating", test::Hostile::kSameHomeSlot, 50'000},
                    HostileCase{"ConsecutivePvts", test::Hostile::kConsecutivePvts, 20'000}),
    [](const testing::TestParamInfo<HostileCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kv
