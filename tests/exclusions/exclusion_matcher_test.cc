// The matcher behind IsExcluded against the rule written out plainly: one
// search of the path per entry, on many small entries and paths made from a
// few letters and separators, where entries overlap and end alike.
#include "exclusions/exclusion_matcher.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "common/ascii.h"
#include "platform/paths.h"

namespace kv {
namespace {

using platform::kPathSeparator;

// The rule as stated: the upper-cased entry and a separator anywhere in the
// upper-cased path, or the path equal to the entry; a root entry holds
// every absolute path.
bool MatchesByTheRule(const std::vector<std::string>& entries, const std::string& path) {
  const std::string upper_path = ToUpperAscii(path);
  for (const std::string& entry : entries) {
    if (platform::IsFileSystemRoot(entry)) {
      if (!path.empty() && path[0] == kPathSeparator) return true;
      continue;
    }
    const std::string upper_entry = ToUpperAscii(entry);
    if (upper_path.find(upper_entry + kPathSeparator) != std::string::npos) return true;
    if (upper_entry == upper_path) return true;
  }
  return false;
}

std::string RandomText(std::mt19937& random, size_t max_length) {
  static const std::string kAlphabet = std::string("aAbBc") + kPathSeparator + kPathSeparator;
  std::uniform_int_distribution<size_t> length(0, max_length);
  std::uniform_int_distribution<size_t> pick(0, kAlphabet.size() - 1);
  std::string text(length(random), ' ');
  for (char& c : text) c = kAlphabet[pick(random)];
  return text;
}

TEST(ExclusionMatcher, AgreesWithTheRuleOnOverlappingEntries) {
  std::mt19937 random(20261211);
  std::uniform_int_distribution<int> entry_count(0, 5);
  int matched = 0;
  constexpr int kTrials = 20000;
  for (int trial = 0; trial < kTrials; ++trial) {
    std::vector<std::string> entries;
    ExclusionMatcher matcher;
    for (int i = entry_count(random); i > 0; --i) {
      entries.push_back(RandomText(random, 4));
      matcher.Add(entries.back(), platform::IsFileSystemRoot(entries.back()));
    }
    const std::string path = RandomText(random, 10);
    const bool expected = MatchesByTheRule(entries, path);
    ASSERT_EQ(matcher.Matches(path), expected) << "path '" << path << "', trial " << trial;
    matched += expected ? 1 : 0;
  }
  // Both answers come up often: the cases are not all alike.
  EXPECT_GT(matched, kTrials / 10);
  EXPECT_LT(matched, kTrials * 9 / 10);
}

TEST(ExclusionMatcher, ClearForgetsEveryEntry) {
  ExclusionMatcher matcher;
  const std::string root(1, kPathSeparator);
  matcher.Add("A", false);
  matcher.Add(root, true);
  EXPECT_TRUE(matcher.Matches(root + "X"));
  EXPECT_TRUE(matcher.Matches("A"));
  matcher.Clear();
  EXPECT_FALSE(matcher.Matches(root + "X"));
  EXPECT_FALSE(matcher.Matches("A"));
}

}  // namespace
}  // namespace kv
