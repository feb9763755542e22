// Replacing a file in one step: the new file is written beside the target,
// keeps what the old one had, and disappears unless committed.
#include "platform/replacement_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_files.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#else
#include <windows.h>
#endif

namespace kv::platform {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string Text(const fs::path& path) {
  const test::Bytes bytes = test::ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

bool WriteAll(ReplacementFile& file, const std::string& text) {
  return file.Write(text.data(), text.size());
}

TEST(ReplacementFile, CommitPutsTheWholeNewContentInPlace) {
  test::TempFolder folder;
  const std::string target = folder.File("list.txt");
  test::WriteFileBytes(target, {'o', 'l', 'd'});
  std::optional<ReplacementFile> file = ReplacementFile::Create(target.c_str());
  ASSERT_TRUE(file.has_value());
  EXPECT_EQ(fs::path(file->path()).parent_path(), folder.path());
  ASSERT_TRUE(WriteAll(*file, "new "));
  ASSERT_TRUE(WriteAll(*file, "content"));
  EXPECT_FALSE(file->Commit());  // not finished yet
  EXPECT_EQ(Text(target), "old");
  ASSERT_TRUE(file->Finish());
  ASSERT_TRUE(file->Commit());
  EXPECT_EQ(Text(target), "new content");
  file.reset();
  EXPECT_EQ(Names(folder.path()), std::vector<std::string>{"list.txt"});
}

TEST(ReplacementFile, UncommittedLeavesTheTargetAndNoTrace) {
  test::TempFolder folder;
  const std::string target = folder.File("list.txt");
  test::WriteFileBytes(target, {'o', 'l', 'd'});
  {
    std::optional<ReplacementFile> file = ReplacementFile::Create(target.c_str());
    ASSERT_TRUE(file.has_value());
    ASSERT_TRUE(WriteAll(*file, "new"));
    ASSERT_TRUE(file->Finish());
    EXPECT_TRUE(fs::exists(file->path()));
  }
  EXPECT_EQ(Text(target), "old");
  EXPECT_EQ(Names(folder.path()), std::vector<std::string>{"list.txt"});
}

TEST(ReplacementFile, CreatesAMissingTargetAndRefusesAFolder) {
  test::TempFolder folder;
  const std::string target = folder.File("new.txt");
  std::optional<ReplacementFile> file = ReplacementFile::Create(target.c_str());
  ASSERT_TRUE(file.has_value());
  ASSERT_TRUE(WriteAll(*file, "x"));
  ASSERT_TRUE(file->Finish());
  ASSERT_TRUE(file->Commit());
  EXPECT_EQ(Text(target), "x");

  fs::create_directory(folder.path() / "sub");
  EXPECT_FALSE(ReplacementFile::Create(folder.File("sub").c_str()).has_value());
  EXPECT_FALSE(ReplacementFile::Create(folder.File("missing/x").c_str()).has_value());
}

#if !defined(_WIN32)
struct stat StatOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info;
}

TEST(ReplacementFile, KeepsModeAndOwner) {
  test::TempFolder folder;
  const std::string target = folder.File("list.txt");
  test::WriteFileBytes(target, {'o'});
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
  // Another owner can only be given by a privileged caller.
  const bool privileged = ::geteuid() == 0;
  if (privileged) {
    ASSERT_EQ(::chown(target.c_str(), 4321, 8765), 0);
  }
  const struct stat before = StatOf(target);

  std::optional<ReplacementFile> file = ReplacementFile::Create(target.c_str());
  ASSERT_TRUE(file.has_value());
  ASSERT_TRUE(WriteAll(*file, "n"));
  ASSERT_TRUE(file->Finish());
  ASSERT_TRUE(file->Commit());
  const struct stat after = StatOf(target);
  EXPECT_NE(after.st_ino, before.st_ino);  // a new file
  EXPECT_EQ(after.st_mode, before.st_mode);
  EXPECT_EQ(after.st_uid, before.st_uid);
  EXPECT_EQ(after.st_gid, before.st_gid);
}

TEST(ReplacementFile, ReplacesWhatALinkLeadsToAndKeepsTheLink) {
  test::TempFolder folder;
  fs::create_directories(folder.path() / "real");
  fs::create_directories(folder.path() / "links");
  const fs::path real = folder.path() / "real" / "list.txt";
  test::WriteFileBytes(real, {'o'});
  const fs::path relative_link = folder.path() / "links" / "relative";
  const fs::path chained_link = folder.path() / "links" / "chained";
  fs::create_symlink("../real/list.txt", relative_link);
  fs::create_symlink(relative_link, chained_link);

  for (const fs::path& link : {relative_link, chained_link}) {
    std::optional<ReplacementFile> file = ReplacementFile::Create(link.string().c_str());
    ASSERT_TRUE(file.has_value());
    EXPECT_TRUE(fs::equivalent(file->target(), real));
    EXPECT_TRUE(fs::equivalent(fs::path(file->path()).parent_path(), real.parent_path()));
    ASSERT_TRUE(WriteAll(*file, link.filename().string()));
    ASSERT_TRUE(file->Finish());
    ASSERT_TRUE(file->Commit());
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Text(real), link.filename().string());
  }
  EXPECT_EQ(Names(folder.path() / "real"), std::vector<std::string>{"list.txt"});

  // A link to a missing file creates the file it names.
  const fs::path dangling = folder.path() / "links" / "dangling";
  fs::create_symlink("../real/later.txt", dangling);
  std::optional<ReplacementFile> file = ReplacementFile::Create(dangling.string().c_str());
  ASSERT_TRUE(file.has_value());
  ASSERT_TRUE(file->Finish());
  ASSERT_TRUE(file->Commit());
  EXPECT_TRUE(fs::is_symlink(dangling));
  EXPECT_TRUE(fs::exists(folder.path() / "real" / "later.txt"));

  // A loop of links has no file to replace.
  fs::create_symlink("loop_b", folder.path() / "links" / "loop_a");
  fs::create_symlink("loop_a", folder.path() / "links" / "loop_b");
  EXPECT_FALSE(ReplacementFile::Create((folder.path() / "links" / "loop_a").string().c_str()));
}
#else
TEST(ReplacementFile, KeepsAttributes) {
  test::TempFolder folder;
  const std::string target = folder.File("list.txt");
  test::WriteFileBytes(target, {'o'});
  ASSERT_TRUE(::SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  std::optional<ReplacementFile> file = ReplacementFile::Create(target.c_str());
  ASSERT_TRUE(file.has_value());
  ASSERT_TRUE(WriteAll(*file, "n"));
  ASSERT_TRUE(file->Finish());
  ASSERT_TRUE(file->Commit());
  EXPECT_EQ(Text(target), "n");
  EXPECT_NE(::GetFileAttributesA(target.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
}
#endif

}  // namespace
}  // namespace kv::platform
