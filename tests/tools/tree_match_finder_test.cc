// Binary-tree match finder against a brute-force search: every match it
// reports is real, and for each length it finds the nearest position that
// matches that far, on a table of inputs.
#include "tree_match_finder.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

namespace kv {
namespace {

using compressor::Match;
using compressor::TreeMatchFinder;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kNice = 48;
constexpr uint32_t kRootPrefix = 8;  // bytes a tree's root hashes

Bytes Random(size_t size, uint32_t seed, const std::string& alphabet) {
  std::mt19937 random(seed);
  Bytes bytes(size);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(alphabet[random() % alphabet.size()]);
  return bytes;
}

std::string AllBytes() {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  return all;
}

Bytes Words(size_t size, uint32_t seed) {
  static const char* kWords[] = {"scan ", "the ",    "archive ", "member ", "pest ",
                                 "name ", "Trojan.", "Win32.",   "Agent",   ".abc\n"};
  std::mt19937 random(seed);
  std::string text;
  while (text.size() < size) text += kWords[random() % 10];
  text.resize(size);
  return Bytes(text.begin(), text.end());
}

struct FinderCase {
  const char* name;
  std::function<Bytes()> make;
};
void PrintTo(const FinderCase& c, std::ostream* os) { *os << c.name; }

uint32_t Common(const Bytes& input, uint32_t earlier, uint32_t position) {
  uint32_t length = 0;
  while (position + length < input.size() && input[earlier + length] == input[position + length]) {
    ++length;
  }
  return length;
}

// Eight equal bytes start at the position: the trees leave it to the nearest
// pair, which covers the run.
bool StartsRun(const Bytes& input, uint32_t position) {
  for (uint32_t i = 1; i < 8; ++i) {
    if (input[position + i] != input[position]) return false;
  }
  return true;
}

// Positions the trees hold: far enough from the end to be compared over the
// nice length, and not starting a run.
bool InTree(const Bytes& input, uint32_t position) {
  return input.size() - position >= kNice && !StartsRun(input, position);
}

class TreeMatchFinderTest : public testing::TestWithParam<FinderCase> {};

TEST_P(TreeMatchFinderTest, FindsTheNearestMatchOfEveryLength) {
  const Bytes input = GetParam().make();
  const uint32_t size = static_cast<uint32_t>(input.size());
  TreeMatchFinder finder(input, 1u << 30, kNice, 16);
  for (uint32_t position = 0; position < size; ++position) {
    const std::span<const Match> found = finder.Find(position, size);
    SCOPED_TRACE("position " + std::to_string(position));
    // Every match is real, each longer and farther than the one before.
    for (size_t i = 0; i < found.size(); ++i) {
      ASSERT_GE(found[i].offset, 1u);
      ASSERT_LE(found[i].offset, position);
      ASSERT_GE(found[i].length, 2u);
      ASSERT_GE(Common(input, position - found[i].offset, position), found[i].length);
      if (i > 0) {
        EXPECT_GT(found[i].length, found[i - 1].length);
        EXPECT_GT(found[i].offset, found[i - 1].offset);
      }
    }
    // The nearest earlier pair of the same two bytes comes first.
    uint32_t pair = 0;
    for (uint32_t earlier = position; earlier-- > 0 && position + 1 < size;) {
      if (input[earlier] == input[position] && input[earlier + 1] == input[position + 1]) {
        pair = position - earlier;
        break;
      }
    }
    if (pair == 0) {
      EXPECT_TRUE(found.empty());
      continue;
    }
    ASSERT_FALSE(found.empty());
    EXPECT_EQ(found[0].offset, pair);
    // For each length from the root's prefix up to the nice length, no
    // position the trees hold matches that far nearer than the nearest
    // reported match of at least that length.
    if (size - position < 8 || StartsRun(input, position)) continue;
    for (uint32_t earlier = position; earlier-- > 0;) {
      if (!InTree(input, earlier)) continue;
      const uint32_t length = std::min(Common(input, earlier, position), kNice);
      if (length < kRootPrefix) continue;
      const Match* nearest = nullptr;
      for (const Match& match : found) {
        if (match.length >= length) {
          nearest = &match;
          break;
        }
      }
      ASSERT_NE(nearest, nullptr) << "no match of " << length << " bytes";
      ASSERT_LE(nearest->offset, position - earlier) << length << " bytes";
    }
  }
}

TEST_P(TreeMatchFinderTest, StopsMatchesAtTheEndOfTheStretch) {
  const Bytes input = GetParam().make();
  const uint32_t size = static_cast<uint32_t>(input.size());
  const uint32_t end = size / 2;
  TreeMatchFinder finder(input, 64, kNice, 16);
  for (uint32_t position = 0; position < end; ++position) {
    for (const Match& match : finder.Find(position, end)) {
      ASSERT_LE(position + match.length, end) << "position " << position;
    }
  }
}

// The finder searches a few positions at once; skipping some of them, or
// asking for one with a nearer end than the position before it was searched
// for, must still give real matches that stop at the end asked for.
TEST_P(TreeMatchFinderTest, SkipsAndNearerEndsKeepMatchesReal) {
  const Bytes input = GetParam().make();
  const uint32_t size = static_cast<uint32_t>(input.size());
  TreeMatchFinder finder(input, 64, kNice, 16);
  std::mt19937 random(7);
  for (uint32_t position = 0; position < size; ++position) {
    if (random() % 3 == 0) {
      finder.Skip(position);
      continue;
    }
    const uint32_t end =
        random() % 4 == 0 ? std::min<uint32_t>(size, position + 1 + random() % 6) : size;
    const std::span<const Match> found = finder.Find(position, end);
    for (size_t i = 0; i < found.size(); ++i) {
      SCOPED_TRACE("position " + std::to_string(position));
      ASSERT_LE(found[i].offset, position);
      ASSERT_LE(position + found[i].length, end);
      ASSERT_GE(Common(input, position - found[i].offset, position), found[i].length);
      if (i > 0) {
        ASSERT_GT(found[i].length, found[i - 1].length);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, TreeMatchFinderTest,
    testing::Values(FinderCase{"Words", [] { return Words(3000, 1); }},
                    FinderCase{"FourLetters", [] { return Random(3000, 2, "ACGT"); }},
                    FinderCase{"TwoLetters", [] { return Random(2000, 3, "ab"); }},
                    FinderCase{"Random", [] { return Random(3000, 4, AllBytes()); }},
                    FinderCase{"RunsBetweenWords",
                               [] {
                                 Bytes b;
                                 for (int i = 0; i < 40; ++i) {
                                   const Bytes words = Words(40 + i, 10 + i % 3);
                                   b.insert(b.end(), words.begin(), words.end());
                                   b.insert(b.end(), 5 + i % 13,
                                            static_cast<uint8_t>(i % 2 ? 0 : ' '));
                                 }
                                 return b;
                               }},
                    FinderCase{"LongRepeats",
                               [] {  // repeats far longer than the nice length
                                 const Bytes part = Words(700, 5);
                                 Bytes b = part;
                                 b.insert(b.end(), part.begin(), part.end());
                                 const Bytes noise = Random(300, 6, "0123456789");
                                 b.insert(b.end(), noise.begin(), noise.end());
                                 b.insert(b.end(), part.begin() + 100, part.end());
                                 return b;
                               }}),
    [](const testing::TestParamInfo<FinderCase>& info) { return info.param.name; });

}  // namespace
}  // namespace kv
