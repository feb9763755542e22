// Platform paths: short names, read-only files and the temporary folder.
#include "platform/paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/test_files.h"

namespace kv::platform {
namespace {

namespace fs = std::filesystem;

TEST(ShortPathName, FailsForMissingPathsAndWhenTheRoomIsTooSmall) {
  test::TempFolder folder;
  const std::string file = folder.File("present.txt");
  test::WriteFileBytes(file, {'x'});
  const std::optional<std::string> short_form = ShortPathName(file.c_str(), 4095);
  ASSERT_TRUE(short_form.has_value());
  EXPECT_EQ(ShortPathName(file.c_str(), short_form->size()), short_form);
  EXPECT_EQ(ShortPathName(file.c_str(), short_form->size() - 1), std::nullopt);
  EXPECT_EQ(ShortPathName(folder.File("missing.txt").c_str(), 4095), std::nullopt);
  EXPECT_EQ(ShortPathName(nullptr, 4095), std::nullopt);
}

#if !defined(_WIN32)
TEST(ShortPathName, IsTheSamePathByteForByteOnPosix) {
  test::TempFolder folder;
  fs::create_directories(folder.path() / "Sub Dir");
  const std::string odd = folder.path().string() + "//Sub Dir/./";
  EXPECT_EQ(ShortPathName(odd.c_str(), 4095), odd);  // nothing normalised
  const fs::path previous = fs::current_path();
  fs::current_path(folder.path());
  EXPECT_EQ(ShortPathName("Sub Dir", 4095), "Sub Dir");  // relative stays relative
  fs::current_path(previous);
}

struct TempCase {
  const char* name;
  bool set;
  std::string value;  // "<existing>" stands for a folder that exists
  bool expect_value;
};
void PrintTo(const TempCase& c, std::ostream* os) { *os << c.name; }

class TemporaryFolderFrom : public testing::TestWithParam<TempCase> {};

TEST_P(TemporaryFolderFrom, Environment) {
  test::TempFolder folder;
  const char* saved = std::getenv("TMPDIR");
  const std::string kept = saved != nullptr ? saved : "";
  std::string value = GetParam().value == "<existing>" ? folder.path().string() : GetParam().value;
  if (GetParam().set) {
    ::setenv("TMPDIR", value.c_str(), 1);
  } else {
    ::unsetenv("TMPDIR");
  }
  const std::string got = TemporaryFolder();
  if (saved != nullptr) {
    ::setenv("TMPDIR", kept.c_str(), 1);
  } else {
    ::unsetenv("TMPDIR");
  }
  EXPECT_EQ(got, GetParam().expect_value ? value + "/" : "/tmp/");
}

INSTANTIATE_TEST_SUITE_P(Table, TemporaryFolderFrom,
                         testing::Values(TempCase{"unset", false, "", false},
                                         TempCase{"empty", true, "", false},
                                         TempCase{"missing_folder", true, "/no/such/folder", false},
                                         TempCase{"existing_folder", true, "<existing>", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(IsReadOnlyFile, LooksAtTheOwnerWriteBitOnly) {
  test::TempFolder folder;
  const std::string file = folder.File("list");
  EXPECT_FALSE(IsReadOnlyFile(file.c_str()));  // missing
  test::WriteFileBytes(file, {'x'});
  EXPECT_FALSE(IsReadOnlyFile(file.c_str()));
  fs::permissions(file, fs::perms::owner_write, fs::perm_options::remove);
  EXPECT_TRUE(IsReadOnlyFile(file.c_str()));  // even for root
}
#else
TEST(TemporaryFolder, EndsWithSeparatorAndExists) {
  const std::string folder = TemporaryFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '\\');
  EXPECT_TRUE(fs::is_directory(folder));
}
#endif

}  // namespace
}  // namespace kv::platform
