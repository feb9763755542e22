// Folder listings: the kind each entry is listed with, and what opening a
// listed file finds when the entry was replaced after the listing.
#include "platform/directories.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "support/test_files.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

namespace kv {
namespace {

namespace fs = std::filesystem;
using platform::DirectoryEntry;
using platform::DirectoryListing;
using platform::EntryKind;

#if !defined(_WIN32)

// Every entry of the folder at `path` with the kind it was listed with.
std::map<std::string, EntryKind> ListKinds(const std::string& path) {
  std::map<std::string, EntryKind> kinds;
  std::unique_ptr<DirectoryListing> listing = DirectoryListing::Open(path.c_str());
  if (!listing) return kinds;
  DirectoryEntry entry;
  while (listing->Next(&entry)) kinds[entry.name] = entry.kind;
  return kinds;
}

TEST(DirectoryListing, ListsEveryEntryWithItsKind) {
  test::TempFolder folder;
  test::WriteFileBytes(folder.File("file"), test::Bytes(3, 1));
  fs::create_directory(folder.File("folder"));
  fs::create_symlink(folder.File("file"), folder.File("link_to_file"));
  fs::create_directory_symlink(folder.File("folder"), folder.File("link_to_folder"));
  fs::create_symlink(folder.File("nowhere"), folder.File("broken_link"));
  ASSERT_EQ(::mkfifo(folder.File("pipe").c_str(), 0600), 0);

  const std::map<std::string, EntryKind> expected = {
      {"file", EntryKind::kFile},         {"folder", EntryKind::kFolder},
      {"link_to_file", EntryKind::kFile}, {"link_to_folder", EntryKind::kLinkedFolder},
      {"broken_link", EntryKind::kOther}, {"pipe", EntryKind::kOther},
  };
  EXPECT_EQ(ListKinds(folder.path().string()), expected);
}

// What replaces the listed regular file "a" before it is opened.
enum class Replacement { kNothing, kLargerFile, kLinkToFile, kPipe, kFolder, kRemoved };

struct ReplacedCase {
  const char* name;
  Replacement replacement;
  std::optional<uint64_t> opened_size;  // nullopt: not opened
};
void PrintTo(const ReplacedCase& c, std::ostream* os) { *os << c.name; }

// Lists `folder` until the entry called `name`, which `entry` then holds.
void ListUpTo(const test::TempFolder& folder, const std::string& name,
              std::unique_ptr<DirectoryListing>* listing, DirectoryEntry* entry) {
  *listing = DirectoryListing::Open(folder.path().string().c_str());
  ASSERT_TRUE(*listing);
  do {
    ASSERT_TRUE((*listing)->Next(entry));
  } while (entry->name != name);
}

class ListedFileReplaced : public testing::TestWithParam<ReplacedCase> {};

TEST_P(ListedFileReplaced, OpensOnlyARegularFileNeverThroughALink) {
  test::TempFolder folder;
  const std::string listed = folder.File("a");
  test::WriteFileBytes(listed, test::Bytes(3, 1));
  test::WriteFileBytes(folder.File("other"), test::Bytes(5, 2));
  std::unique_ptr<DirectoryListing> listing;
  DirectoryEntry entry;
  ASSERT_NO_FATAL_FAILURE(ListUpTo(folder, "a", &listing, &entry));
  ASSERT_EQ(entry.kind, EntryKind::kFile);

  switch (GetParam().replacement) {
    case Replacement::kNothing:
      break;
    case Replacement::kLargerFile:
      test::WriteFileBytes(listed, test::Bytes(7, 3));
      break;
    case Replacement::kLinkToFile:
      fs::remove(listed);
      fs::create_symlink(folder.File("other"), listed);
      break;
    case Replacement::kPipe:  // would block an open that waits for a writer
      fs::remove(listed);
      ASSERT_EQ(::mkfifo(listed.c_str(), 0600), 0);
      break;
    case Replacement::kFolder:
      fs::remove(listed);
      fs::create_directory(listed);
      break;
    case Replacement::kRemoved:
      fs::remove(listed);
      break;
  }
  std::optional<platform::InputFile> file =
      listing->OpenFile(entry.name, listed.c_str(), platform::Sharing::kReadOnly);
  ASSERT_EQ(file.has_value(), GetParam().opened_size.has_value());
  if (file) {
    EXPECT_EQ(file->Size(), GetParam().opened_size);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ListedFileReplaced,
    testing::Values(ReplacedCase{"unchanged", Replacement::kNothing, 3},
                    ReplacedCase{"rewritten_size_found_at_open", Replacement::kLargerFile, 7},
                    ReplacedCase{"link_refused", Replacement::kLinkToFile, std::nullopt},
                    ReplacedCase{"pipe_refused", Replacement::kPipe, std::nullopt},
                    ReplacedCase{"folder_refused", Replacement::kFolder, std::nullopt},
                    ReplacedCase{"removed", Replacement::kRemoved, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DirectoryListing, AnEntryListedAsALinkOpensItsTarget) {
  test::TempFolder folder;
  test::WriteFileBytes(folder.File("target"), test::Bytes(5, 2));
  fs::create_symlink(folder.File("target"), folder.File("link"));
  std::unique_ptr<DirectoryListing> listing;
  DirectoryEntry entry;
  ASSERT_NO_FATAL_FAILURE(ListUpTo(folder, "link", &listing, &entry));
  ASSERT_EQ(entry.kind, EntryKind::kFile);
  std::optional<platform::InputFile> file =
      listing->OpenFile(entry.name, folder.File("link").c_str(), platform::Sharing::kReadOnly);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->Size(), 5u);
}

#endif  // !_WIN32

}  // namespace
}  // namespace kv
