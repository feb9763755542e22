// Which member names extraction to a folder accepts, and where they land.
#include "reader/safe_name.h"

#include <gtest/gtest.h>

namespace kv::zip {
namespace {

TEST(SafeRelativePath, RefusesEveryFormOfEscape) {
  const char* const refused[] = {
      "",
      "/etc/passwd",
      "\\windows\\x.dll",
      "..",
      "../x",
      "a/../../x",
      "a/..",
      "a\\..\\..\\x",
      "C:x",
      "C:/x",
      "c:\\x",
      "a/b:stream",
      "a//b",
      "./a",
      "a/./b",
      "...",
      ".. /x",
      "a./b",
      "a /b",
      "CON",
      "nul.txt",
      "sub/Com1.exe",
      "LPT9",
      "a\x01"
      "b",
      "a|b",
      "a?b",
      "a*b",
      "a<b",
      "a\"b",
      "//server/share/x",
  };
  for (const char* name : refused) {
    EXPECT_FALSE(SafeRelativePath(name).has_value()) << '"' << name << '"';
  }
}

TEST(SafeRelativePath, SplitsAcceptedNamesIntoComponents) {
  struct Case {
    const char* name;
    std::vector<std::string> components;
    bool folder;
  };
  const Case cases[] = {
      {"a.exe", {"a.exe"}, false},
      {"sub/inner.zip", {"sub", "inner.zip"}, false},
      {"back\\slash.txt", {"back", "slash.txt"}, false},
      {"folder/", {"folder"}, true},
      {"d1/d2/", {"d1", "d2"}, true},
      {".hidden", {".hidden"}, false},
      {"a..b/c", {"a..b", "c"}, false},
      {"console.txt", {"console.txt"}, false},
      {"COM10", {"COM10"}, false},
      {"\xC3\xA9t\xC3\xA9.txt", {"\xC3\xA9t\xC3\xA9.txt"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto path = SafeRelativePath(c.name);
    ASSERT_TRUE(path.has_value());
    EXPECT_EQ(path->components, c.components);
    EXPECT_EQ(path->folder, c.folder);
  }
}

}  // namespace
}  // namespace kv::zip
