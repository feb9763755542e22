// File masks and the wildcard matcher.
#include "scan/file_masks.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

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
