// The exclusion list's operations: the matching rule, adding, removing and
// enumerating, on a list of the test's own.
#include "exclusions/exclusion_list.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "support/exclusion_fixture.h"
#include "support/native_path.h"

namespace kv {
namespace {

namespace fs = std::filesystem;
using test::ExclusionFixture;
using test::NativePath;
using Entries = std::vector<std::string>;

struct MatchCase {
  const char* name;
  const char* entry;  // "" for an empty list; lines of their own; '\' becomes the separator
  const char* path;
  int32_t excluded;
};
void PrintTo(const MatchCase& c, std::ostream* os) { *os << c.name; }

class MatchesPaths : public testing::TestWithParam<MatchCase> {};

TEST_P(MatchesPaths, ByTheRule) {
  ExclusionFixture fixture;
  const std::string entry = NativePath(GetParam().entry);
  fixture.WriteStamped(entry.empty() ? "" : entry + "\n");
  fixture.list().Load();
  EXPECT_EQ(fixture.list().IsExcluded(NativePath(GetParam().path).c_str()), GetParam().excluded);
}

INSTANTIATE_TEST_SUITE_P(
    Table, MatchesPaths,
    testing::Values(
        MatchCase{"quarantine_any_case", "", "C:\\Program Files\\Tool\\Quarantine\\a.exe", 1},
        MatchCase{"restore_folder", "", "C:\\_RESTORE\\TEMP\\A0001234.EXE", 1},
        MatchCase{"quarantine_inside_a_name", "", "C:\\myquarantined.txt", 1},
        MatchCase{"ordinary_path", "", "C:\\WINDOWS\\NOTEPAD.EXE", 0},
        MatchCase{"restore_lower_case_at_the_end", "", "C:\\x_restore", 1},
        MatchCase{"quarantine_cut_short_at_the_end", "", "C:\\QUARANTIN", 0},
        MatchCase{"restore_without_underscore", "", "C:\\RESTORE\\A", 0},
        MatchCase{"file_in_folder", "C:\\DATA", "C:\\DATA\\X.TXT", 1},
        MatchCase{"file_deeper_any_case", "C:\\DATA", "c:\\data\\sub\\y.txt", 1},
        MatchCase{"folder_itself", "C:\\DATA", "C:\\DATA", 1},
        MatchCase{"folder_itself_with_separator", "C:\\DATA", "C:\\DATA\\", 1},
        MatchCase{"data_is_not_database", "C:\\DATA", "C:\\DATABASE\\X.TXT", 0},
        MatchCase{"file_entry_exact", "C:\\DATA\\X.TXT", "C:\\DATA\\X.TXT", 1},
        MatchCase{"file_entry_not_longer_name", "C:\\DATA\\X.TXT", "C:\\DATA\\X.TXT.BAK", 0},
        MatchCase{"substring_not_anchored", "TEMP", "C:\\WINDOWS\\TEMP\\A.EXE", 1},
        MatchCase{"substring_inside_a_name", "TEMP", "C:\\MYTEMP\\A.EXE", 1},
        MatchCase{"drive_entry", "C:", "C:\\ANY\\FILE.EXE", 1},
        MatchCase{"other_drive", "C:", "D:\\FILE.EXE", 0},
        MatchCase{"entry_ending_in_separator", "C:\\DATA\\", "C:\\DATA\\X.TXT", 0},
        MatchCase{"entry_lower_case_path_mixed", "c:\\data", "C:\\Data\\X.TXT", 1},
        MatchCase{"last_name_alone_is_not_the_entry", "DATA", "C:\\DATA", 0},
        MatchCase{"last_name_with_separator_dropped", "DATA", "C:\\DATA\\", 0},
        MatchCase{"doubled_separator_keeps_one", "C:\\DATA", "C:\\DATA\\\\", 1},
        MatchCase{"end_of_a_longer_name", "ATA", "C:\\DATA\\X.TXT", 1},
        MatchCase{"match_at_a_later_separator", "B\\C", "A\\B\\C\\D", 1},
        MatchCase{"equal_needs_the_whole_path", "B\\C", "A\\B\\C", 0},
        MatchCase{"second_of_several", "C:\\A\nC:\\B", "C:\\B\\F", 1},
        MatchCase{"shorter_entry_ending_alike", "C:\\OTHER\\DATA\nDATA", "C:\\MINE\\DATA\\X", 1},
        MatchCase{"longer_entry_ending_alike", "C:\\OTHER\\DATA", "C:\\MINE\\DATA\\X", 0},
        MatchCase{"entry_longer_than_path", "C:\\DATA\\SUB", "C:\\DATA", 0}
#if !defined(_WIN32)
        ,
        MatchCase{"root_holds_absolute_paths", "\\", "\\home\\x", 1},
        MatchCase{"root_not_relative_paths", "\\", "home\\x", 0}
#endif
        ),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExclusionList, MatchesBeforeAnythingLoadedByTheFixedRuleOnly) {
  ExclusionFixture fixture;
  fixture.WriteStamped(NativePath("C:\\DATA\n"));
  EXPECT_EQ(fixture.list().IsExcluded(NativePath("C:\\DATA\\X").c_str()), 0);
  EXPECT_EQ(fixture.list().IsExcluded(NativePath("C:\\QUARANTINE\\X").c_str()), 1);
  EXPECT_EQ(fixture.list().IsExcluded(nullptr), 0);
}

TEST(ExclusionList, AddLeavesTheFileAloneForWhatIsExcludedAlready) {
  ExclusionFixture fixture;
  ASSERT_EQ(fixture.list().Add(NativePath("C:\\DATA").c_str()), 1);
  const std::string before = fixture.Content();
  for (const char* path : {"C:\\DATA", "c:\\data\\", "C:\\DATA\\SUB\\X.TXT", "C:\\_restore\\A"}) {
    EXPECT_EQ(fixture.list().Add(NativePath(path).c_str()), 1) << path;
  }
  EXPECT_EQ(fixture.Content(), before);
  EXPECT_EQ(fixture.list().Add(NativePath("C:\\OTHER\\").c_str()), 1);
  EXPECT_EQ(fixture.list().entries(), (Entries{NativePath("C:\\DATA"), NativePath("C:\\OTHER")}));
  EXPECT_EQ(fixture.list().IsExcluded(NativePath("C:\\OTHER\\F").c_str()), 1);
}

TEST(ExclusionList, AddAfterTamperingWritesIntoTheEmptiedFile) {
  ExclusionFixture fixture;
  fixture.WriteForeign(NativePath("C:\\TEMP\n"));
  EXPECT_EQ(fixture.list().Add(NativePath("C:\\NEW").c_str()), 1);
  EXPECT_EQ(fixture.messages().size(), 1u);
  EXPECT_EQ(fixture.list().entries(), Entries{NativePath("C:\\NEW")});
}

TEST(ExclusionList, RemoveTakesOutEveryEqualEntry) {
  ExclusionFixture fixture;
  fixture.WriteStamped(NativePath("C:\\A\nc:\\b\nC:\\A\n"));
  ASSERT_NE(fixture.list().First(), nullptr);
  EXPECT_EQ(fixture.list().Remove(NativePath("C:\\B\\").c_str()), 1);
  EXPECT_EQ(fixture.list().Remove(NativePath("C:\\A").c_str()), 1);
  EXPECT_TRUE(fixture.list().entries().empty());
  EXPECT_EQ(fixture.Content(), "");
  EXPECT_EQ(fixture.list().Remove(NativePath("C:\\A").c_str()), 0);
  EXPECT_EQ(fixture.list().Remove(nullptr), 0);
  EXPECT_TRUE(fixture.messages().empty());
}

TEST(ExclusionList, EntryEndingInSeparatorCannotBeRemovedByItsText) {
  ExclusionFixture fixture;
  fixture.WriteStamped(NativePath("C:\\DATA\\\n"));
  const char* entry = fixture.list().First();
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(fixture.list().Remove(std::string(entry).c_str()), 0);
  EXPECT_EQ(fixture.list().entries().size(), 1u);
}

TEST(ExclusionList, FailedRewriteLeavesTheListAsItWas) {
  ExclusionFixture fixture;
  fixture.WriteStamped(NativePath("C:\\A\nC:\\B\n"));
  EXPECT_STREQ(fixture.list().First(), NativePath("C:\\A").c_str());
  fs::permissions(fixture.path(),
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  EXPECT_EQ(fixture.list().Remove(NativePath("C:\\A").c_str()), 0);
  // No marker left behind, and the enumeration goes on.
  EXPECT_EQ(fixture.list().entries(), (Entries{NativePath("C:\\A"), NativePath("C:\\B")}));
  EXPECT_EQ(fixture.list().IsExcluded(NativePath("C:\\A\\F").c_str()), 1);
  EXPECT_STREQ(fixture.list().Next(), NativePath("C:\\B").c_str());
  fs::permissions(fixture.path(), fs::perms::owner_write, fs::perm_options::add);
}

// The Windows message box is modal and runs the thread's message loop: the
// list stays usable meanwhile, by a scan on another thread or by the host's
// own code called from that loop.
TEST(ExclusionList, TamperMessageIsShownWithTheListUnlocked) {
  test::TempFolder folder;
  const std::string path = folder.File("excluded.dat");
  test::WriteFileBytes(path, {'C', ':', '\n'});  // not stamped
  std::unique_ptr<ExclusionList> list;
  std::future<int32_t> from_another_thread;
  bool answered = false;
  list = std::make_unique<ExclusionList>(ExclusionListOptions{
      [&] { return path; },
      [&](const char*) {
        from_another_thread = std::async(std::launch::async, [&] {
          return list->IsExcluded(NativePath("C:\\QUARANTINE\\A").c_str());
        });
        answered =
            from_another_thread.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
      }});
  EXPECT_FALSE(list->Load());
  EXPECT_TRUE(answered);
  EXPECT_EQ(from_another_thread.get(), 1);
}

TEST(ExclusionList, EnumeratesInFileOrderThenStaysAtTheEnd) {
  ExclusionFixture fixture;
  fixture.WriteStamped("ONE\nTWO\nTHREE\n");
  EXPECT_EQ(fixture.list().Next(), nullptr);  // before any First
  EXPECT_STREQ(fixture.list().First(), "ONE");
  EXPECT_STREQ(fixture.list().Next(), "TWO");
  EXPECT_STREQ(fixture.list().Next(), "THREE");
  EXPECT_EQ(fixture.list().Next(), nullptr);
  EXPECT_EQ(fixture.list().Next(), nullptr);
  EXPECT_STREQ(fixture.list().First(), "ONE");
  fixture.list().Load();  // a reload ends the enumeration
  EXPECT_EQ(fixture.list().Next(), nullptr);
}

TEST(ExclusionList, EmptyOrMissingListEnumeratesNothing) {
  ExclusionFixture fixture;
  EXPECT_EQ(fixture.list().First(), nullptr);
  fixture.WriteStamped("");
  EXPECT_EQ(fixture.list().First(), nullptr);
}

#if defined(_WIN32)
// Short (8.3) and long forms of an existing folder give the same answer;
// the fixed rule only sees the form given.
TEST(ExclusionList, ShortAndLongFormsMatchAlike) {
  ExclusionFixture fixture;
  const fs::path folder = fixture.folder().path() / "Long Folder Name";
  const fs::path quarantine = fixture.folder().path() / "Quarantine Folder";
  fs::create_directories(folder);
  fs::create_directories(quarantine);
  test::WriteFileBytes(folder / "file.txt", {'x'});
  test::WriteFileBytes(quarantine / "a.exe", {'x'});
  const auto short_name = [](const fs::path& path) {
    return platform::ShortPathName(path.string().c_str(), 4095).value_or("");
  };
  const std::string long_file = (folder / "file.txt").string();
  const std::string short_file = short_name(folder / "file.txt");
  ASSERT_NE(short_file, long_file);

  ASSERT_EQ(fixture.list().Add(folder.string().c_str()), 1);
  EXPECT_EQ(fixture.list().entries(), Entries{short_name(folder)});
  EXPECT_EQ(fixture.list().IsExcluded(long_file.c_str()), 1);
  EXPECT_EQ(fixture.list().IsExcluded(short_file.c_str()), 1);
  EXPECT_EQ(fixture.list().Remove(folder.string().c_str()), 0);  // stored short

  const std::string long_quarantined = (quarantine / "a.exe").string();
  EXPECT_EQ(fixture.list().IsExcluded(long_quarantined.c_str()), 1);
  EXPECT_EQ(fixture.list().IsExcluded(short_name(quarantine / "a.exe").c_str()), 0);
}
#endif

}  // namespace
}  // namespace kv

namespace kv {
namespace {

// Counts the reads of the list's file and, when told, takes every version
// as settled, as it is once its times are a few seconds old.
class CountingFileSystem : public platform::FileSystem {
 public:
  std::optional<platform::InputFile> OpenForReading(const std::string& path) override {
    ++reads;
    return FileSystem::OpenForReading(path);
  }
  std::optional<platform::FileVersion> QueryVersion(const std::string& path) override {
    std::optional<platform::FileVersion> version = FileSystem::QueryVersion(path);
    if (version && settle) version->settled = true;
    return version;
  }
  int reads = 0;
  bool settle = false;
};

TEST(ExclusionList, ReloadsOnlyWhenTheFileMayHaveChanged) {
  CountingFileSystem files;
  ExclusionFixture fixture(files);
  fixture.WriteStamped(std::string("/first") + platform::kLineEnd);
  files.reads = 0;
  EXPECT_TRUE(fixture.list().Load());
  const int reads_per_load = files.reads;
  ASSERT_GT(reads_per_load, 0);
  EXPECT_TRUE(fixture.list().Load());
  EXPECT_EQ(files.reads, 2 * reads_per_load) << "a file changed moments ago is read every time";

  files.settle = true;
  files.reads = 0;
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(fixture.list().Load());
  EXPECT_EQ(files.reads, reads_per_load);
  EXPECT_EQ(fixture.list().entries(), std::vector<std::string>{"/first"});

  fixture.WriteStamped(std::string("/second") + platform::kLineEnd);
  files.reads = 0;
  EXPECT_TRUE(fixture.list().Load());
  EXPECT_EQ(files.reads, reads_per_load);
  EXPECT_EQ(fixture.list().entries(), std::vector<std::string>{"/second"});
  // Writes of the list's own go through the file again.
  EXPECT_EQ(fixture.list().Add("/third"), 1);
  EXPECT_EQ(fixture.list().entries(), (std::vector<std::string>{"/second", "/third"}));
}

TEST(ExclusionList, AMissingFileIsNotOpenedAgainButNoticedOnceItAppears) {
  CountingFileSystem files;
  ExclusionFixture fixture(files);
  ASSERT_FALSE(fixture.Exists());
  EXPECT_FALSE(fixture.list().Load());
  const int reads_when_missing = files.reads;
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(fixture.list().Load());
  EXPECT_EQ(files.reads, reads_when_missing);

  fixture.WriteStamped(NativePath("C:\\FIRST") + platform::kLineEnd);
  EXPECT_TRUE(fixture.list().Load());
  EXPECT_EQ(fixture.list().entries(), Entries{NativePath("C:\\FIRST")});
  EXPECT_EQ(fixture.list().IsExcluded(NativePath("C:\\FIRST\\A").c_str()), 1);

  fs::remove(fixture.path());
  EXPECT_FALSE(fixture.list().Load());
  EXPECT_TRUE(fixture.list().entries().empty());
  EXPECT_EQ(fixture.list().IsExcluded(NativePath("C:\\FIRST\\A").c_str()), 0);
  // Added while missing: written and loaded at once.
  EXPECT_EQ(fixture.list().Add(NativePath("C:\\SECOND").c_str()), 1);
  EXPECT_EQ(fixture.list().entries(), Entries{NativePath("C:\\SECOND")});
}

}  // namespace
}  // namespace kv
