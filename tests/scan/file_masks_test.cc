// File masks and the wildcard matcher.
#include "scan/file_masks.h"

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "common/ascii.h"

namespace kv {
namespace {

struct MaskCase {
  const char* masks;
  const char* name;
  bool passes;
};
void PrintTo(const MaskCase& c, std::ostream* os) {
  *os << '"' << c.masks << "\" on \"" << c.name << '"';
}

class FileMaskTable : public testing::TestWithParam<MaskCase> {};

TEST_P(FileMaskTable, DecidesTheName) {
  FileMasks masks;
  masks.Set(GetParam().masks);
  EXPECT_EQ(masks.Matches(GetParam().name), GetParam().passes);
}

INSTANTIATE_TEST_SUITE_P(
    Masks, FileMaskTable,
    testing::Values(MaskCase{kDefaultFileMasks, "readme.txt", true},
                    MaskCase{kDefaultFileMasks, "logo.gif", false},
                    MaskCase{kDefaultFileMasks, "Applet.class", false},
                    MaskCase{kDefaultFileMasks, "README", false},  // "*.*" needs a dot
                    MaskCase{kDefaultFileMasks, "picture.gif.txt", true},
                    MaskCase{kDefaultFileMasks, "archive.zip", true},
                    MaskCase{"*.exe", "SETUP.EXE", true}, MaskCase{"*.exe", "setup.exe", true},
                    MaskCase{"*.EXE", "setup.dll", false}, MaskCase{"!*.TMP;*.*", "x.tmp", false},
                    MaskCase{"*.*;!*.TMP", "x.tmp", false}, MaskCase{"!*.TMP;*.*", "x.txt", true},
                    MaskCase{"*.*;!*.TMP", "x.txt", true},
                    MaskCase{"!*.GIF", "x.txt", false},  // only exclude masks
                    MaskCase{"", "x.txt", false}, MaskCase{"*.EXE;;*.DLL", "A.DLL", true},
                    MaskCase{";", "A", false},  // an empty mask matches no name
                    MaskCase{"!", "!", true},   // "!" alone is an include mask
                    MaskCase{"!", "A", false}, MaskCase{"*\xE9*", "caf\xE9.txt", true},
                    MaskCase{"*\xE9*", "caf\xC9.txt", false},  // no folding above 0x7F
                    MaskCase{"?", "a", true},
                    MaskCase{"DIR\\*", "dir\\file", true}));  // "\" is ordinary

TEST(FileMasks, SetCountsSeparatorsAndStoresUpperCase) {
  FileMasks masks;
  EXPECT_EQ(masks.Set("*.exe;*.dll"), 1);
  EXPECT_EQ(masks.masks(), (std::vector<std::string>{"*.EXE", "*.DLL"}));
  EXPECT_EQ(masks.Set("*.EXE;*.DLL;"), 2);
  EXPECT_EQ(masks.masks(), (std::vector<std::string>{"*.EXE", "*.DLL"}));
  EXPECT_EQ(masks.Set("*.EXE;;*.DLL"), 2);
  EXPECT_EQ(masks.masks(), (std::vector<std::string>{"*.EXE", "", "*.DLL"}));

  EXPECT_EQ(masks.Set(nullptr), 0);  // keeps the list
  EXPECT_EQ(masks.masks().size(), 3u);
  EXPECT_EQ(masks.Set(""), 0);  // empties it
  EXPECT_TRUE(masks.masks().empty());
}

TEST(FileMasks, LongMasksAreHeldWhole) {
  std::string masks(600, 'A');
  masks.append("*;");
  masks.append(600, 'B');
  masks.push_back('*');
  FileMasks list;
  EXPECT_EQ(list.Set(masks.c_str()), 1);
  EXPECT_TRUE(list.Matches(std::string(600, 'a').append(".exe")));
  EXPECT_TRUE(list.Matches(std::string(601, 'b')));
  EXPECT_FALSE(list.Matches(std::string(599, 'a')));
}

struct WildcardCase {
  const char* pattern;
  const char* text;
  int32_t result;
};
void PrintTo(const WildcardCase& c, std::ostream* os) {
  *os << '"' << c.pattern << "\" against \"" << c.text << '"';
}

class WildcardTable : public testing::TestWithParam<WildcardCase> {};

TEST_P(WildcardTable, Matches) {
  EXPECT_EQ(WildcardMatch(GetParam().pattern, GetParam().text), GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, WildcardTable,
    testing::Values(WildcardCase{"A?", "A", 0}, WildcardCase{"*", "", 1}, WildcardCase{"", "", 1},
                    WildcardCase{"", "X", 0}, WildcardCase{"*A*B", "XAYAB", 1},
                    WildcardCase{"*.GIF", "PICTURE.GIF.TXT", 0},
                    WildcardCase{"*.GIF", "PICTURE.GIF", 1}, WildcardCase{"A*", "A", 1},
                    WildcardCase{"A**", "A", 1}, WildcardCase{"*X", "ABC", 0},
                    WildcardCase{"?*?", "AB", 1}, WildcardCase{"A*C*E", "ABCDE", 1},
                    WildcardCase{"ABC", "AB", 0}, WildcardCase{"AB", "ABC", 0}));

// The list's decision made plainly: every mask through the wildcard matcher
// against the upper-cased name, an exclude mask ending it.
bool PassesByTheRule(const std::vector<std::string>& masks, const std::string& name) {
  const std::string upper_name = ToUpperAscii(name);
  bool included = false;
  for (const std::string& mask : masks) {
    const bool exclude = mask.size() > 1 && mask[0] == '!';
    if (WildcardMatch(exclude ? mask.substr(1) : mask, upper_name) == 1) {
      if (exclude) return false;
      included = true;
    }
  }
  return included;
}

std::string RandomText(std::mt19937& random, const std::string& alphabet, size_t max_length) {
  std::uniform_int_distribution<size_t> length(0, max_length);
  std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
  std::string text(length(random), ' ');
  for (char& c : text) c = alphabet[pick(random)];
  return text;
}

// Masks of every shape, "*.EXT" and "*TEXT*" among them, on names of the
// same few letters.
TEST(FileMasks, DecideAsTheWildcardMatcherOnEveryMask) {
  std::mt19937 random(20261211);
  std::uniform_int_distribution<int> mask_count(1, 3);
  std::uniform_int_distribution<int> shape(0, 3);
  int passed = 0;
  constexpr int kTrials = 20000;
  for (int trial = 0; trial < kTrials; ++trial) {
    std::string text;
    for (int i = mask_count(random); i > 0; --i) {
      const std::string middle = RandomText(random, "aB.?*", 3);
      const int form = shape(random);
      std::string mask = form == 0 ? middle : "*" + middle + (form == 1 ? "" : "*");
      if (form == 3) mask = "!" + mask;
      text += (text.empty() ? "" : ";") + mask;
    }
    FileMasks masks;
    masks.Set(text.c_str());
    const std::string name = RandomText(random, "aAbB.", 6);
    const bool expected = PassesByTheRule(masks.masks(), name);
    ASSERT_EQ(masks.Matches(name), expected) << "masks \"" << text << "\" on \"" << name << '"';
    passed += expected ? 1 : 0;
  }
  EXPECT_GT(passed, kTrials / 10);
  EXPECT_LT(passed, kTrials * 9 / 10);
}

// A host may set masks while a walk on another thread matches names: the
// walk sees one whole list or the other (the sanitizers check the memory).
TEST(FileMasks, SettingWhileMatchingSeesWholeLists) {
  FileMasks masks;
  masks.Set("*.EXE;!*.GIF");
  std::atomic<bool> done{false};
  std::thread setter([&] {
    for (int round = 0; !done; ++round) {
      masks.Set(round % 2 == 0 ? "*.EXE;*.DLL;*.SYS;!*.GIF;!*.ICO;!*.BMP;!*.JAR" : "*.EXE;!*.GIF");
    }
  });
  for (int i = 0; i < 20000; ++i) {
    ASSERT_TRUE(masks.Matches("setup.exe"));
    ASSERT_FALSE(masks.Matches("picture.gif"));
  }
  done = true;
  setter.join();
}

}  // namespace
}  // namespace kv
