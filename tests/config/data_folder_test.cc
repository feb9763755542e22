// Data-folder resolution: the settings readers, both search orders, the
// trailing-separator rules and kvGetDATFolder's copy limits.
#include "config/data_folder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>

#include "platform/modules.h"
#include "support/native_path.h"
#include "support/settings.h"
#include "support/test_files.h"

namespace kv {
namespace {

using test::WithSeparator;

std::string Text(size_t length) { return std::string(length, 'd'); }

struct ReadCase {
  const char* name;
  std::optional<std::string> stored;  // nullopt: value missing
  std::optional<std::string> location;
  std::optional<std::string> cl_location;
};
void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

class ReadsSettings : public testing::TestWithParam<ReadCase> {};

TEST_P(ReadsSettings, BothValues) {
  test::ScopedSettings settings;
  if (GetParam().stored) {
    settings.Set("KVLocation", *GetParam().stored);
    settings.Set("KVCLLocation", *GetParam().stored);
  }
  EXPECT_EQ(ReadLocationValue(), GetParam().location);
  EXPECT_EQ(ReadClLocationValue(), GetParam().cl_location);
}

const std::string kSep(1, platform::kPathSeparator);

INSTANTIATE_TEST_SUITE_P(
    Table, ReadsSettings,
    testing::Values(ReadCase{"missing", std::nullopt, std::nullopt, std::nullopt},
                    ReadCase{"empty", std::string(), std::nullopt, std::nullopt},
                    ReadCase{"no_separator", "prog", "prog" + kSep, "prog"},
                    ReadCase{"with_separator", "prog" + kSep, "prog" + kSep, "prog" + kSep},
                    ReadCase{"spaces_kept", " a b ", " a b " + kSep, " a b "},
                    ReadCase{"258_takes_separator", Text(258), Text(258) + kSep, Text(258)},
                    ReadCase{"259_no_room_for_separator", Text(259), std::nullopt, Text(259)},
                    ReadCase{"259_ending_in_separator", Text(258) + kSep, Text(258) + kSep,
                             Text(258) + kSep},
                    ReadCase{"260_too_long", Text(260), std::nullopt, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

#if !defined(_WIN32)
struct FileCase {
  const char* name;
  const char* content;
  std::optional<std::string> cl_location;
};
void PrintTo(const FileCase& c, std::ostream* os) { *os << c.name; }

class ReadsSettingsFile : public testing::TestWithParam<FileCase> {};

TEST_P(ReadsSettingsFile, Value) {
  test::ScopedSettings settings;
  settings.WriteFile(GetParam().content);
  EXPECT_EQ(ReadClLocationValue(), GetParam().cl_location);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReadsSettingsFile,
    testing::Values(FileCase{"plain", "KVCLLocation=/opt/a\n", "/opt/a"},
                    FileCase{"name_case_ignored", "kvcllocation=/opt/a\n", "/opt/a"},
                    FileCase{"first_match_wins", "KVCLLocation=/1\nKVCLLOCATION=/2\n", "/1"},
                    FileCase{"crlf", "KVCLLocation=/opt/a\r\n", "/opt/a"},
                    FileCase{"last_line_unended", "x=1\nKVCLLocation=/opt/b", "/opt/b"},
                    FileCase{"nothing_trimmed", "KVCLLocation= /a=b \n", " /a=b "},
                    FileCase{"comment", "#KVCLLocation=/no\n", std::nullopt},
                    FileCase{"spaced_name_differs", "KVCLLocation =/no\n", std::nullopt},
                    FileCase{"line_without_equals", "KVCLLocation\nKVCLLocation=/yes\n", "/yes"},
                    FileCase{"empty_value_fails", "KVCLLocation=\nKVCLLocation=/later\n",
                             std::nullopt},
                    FileCase{"other_value_only", "KVLocation=/x\n", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Settings, MissingFileIsAFailedRead) {
  test::ScopedSettings settings;
  test::TempFolder folder;
  ::setenv("TROVALEN_REGISTRY", folder.File("none").c_str(), 1);
  EXPECT_EQ(ReadLocationValue(), std::nullopt);
  EXPECT_FALSE(std::filesystem::exists(folder.File("none")));
}
#endif

TEST(HostFolder, IsTheExecutablesFolderWithoutSeparator) {
  const std::string executable = platform::HostExecutablePath();
  const std::string folder = test::TestExecutableFolder().string();
  EXPECT_EQ(GetHostFolder(kPathBufferSize), folder);
  EXPECT_EQ(GetHostFolder(executable.size() + 1), folder);
  EXPECT_EQ(GetHostFolder(executable.size()), std::nullopt);
}

// Three folders, each may hold the file; which one a search picks.
struct SearchCase {
  const char* name;
  bool set_folder_holds, location_holds, cl_holds;
  bool honour_set_folder;
  const char* locate_picks;  // "set", "location", "cl" or "host"
  const char* find_picks;    // "location", "cl" or "" for none
};
void PrintTo(const SearchCase& c, std::ostream* os) { *os << c.name; }

class SearchesFolders : public testing::TestWithParam<SearchCase> {
 protected:
  std::string Folder(const std::string& which) {
    if (which == "host") return WithSeparator(test::TestExecutableFolder().string());
    return WithSeparator(root_.File(which));
  }
  void Place(const std::string& which, const std::string& name) {
    std::filesystem::create_directories(root_.File(which));
    test::WriteFileBytes(Folder(which) + name, {'x'});
  }
  test::TempFolder root_;
  test::ScopedSettings settings_;
};

TEST_P(SearchesFolders, InTheirOrder) {
  const SearchCase& c = GetParam();
  // A name nothing else has, so the host's folder never holds it.
  const std::string name = "kvprobe-" + root_.path().filename().string() + ".dat";
  for (const char* which : {"set", "location", "cl"}) {
    std::filesystem::create_directories(root_.File(which));
  }
  if (c.set_folder_holds) Place("set", name);
  if (c.location_holds) Place("location", name);
  if (c.cl_holds) Place("cl", name);
  settings_.Set("KVLocation", root_.File("location"));  // separator appended
  settings_.Set("KVCLLocation", Folder("cl"));          // separator kept, not doubled

  std::string dat_folder = root_.File("set");
  const std::string path = LocateDataFile(name.c_str(), c.honour_set_folder, dat_folder);
  EXPECT_EQ(path, Folder(c.locate_picks) + name);
  EXPECT_EQ(dat_folder, Folder(c.locate_picks));

  const std::optional<std::string> found = FindDataFile(name.c_str(), kShortTextLength);
  if (*c.find_picks == '\0') {
    EXPECT_EQ(found, std::nullopt);
  } else {
    EXPECT_EQ(found, Folder(c.find_picks) + name);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, SearchesFolders,
    testing::Values(
        SearchCase{"set_folder_first", true, true, true, true, "set", "cl"},
        SearchCase{"set_folder_not_honoured", true, true, true, false, "location", "cl"},
        // An honoured set folder takes KVLocation's place: it is not tried.
        SearchCase{"set_folder_replaces_location", false, true, true, true, "cl", "cl"},
        SearchCase{"location_before_cl", false, true, true, false, "location", "cl"},
        SearchCase{"cl_when_location_lacks_it", false, false, true, false, "cl", "cl"},
        SearchCase{"location_when_cl_lacks_it", false, true, false, false, "location", "location"},
        SearchCase{"host_folder_unchecked", false, false, false, false, "host", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LocateDataFile, WithoutSettingsFallsBackToTheHostFolder) {
  test::ScopedSettings settings;
  std::string dat_folder;
  const std::string host = WithSeparator(test::TestExecutableFolder().string());
  EXPECT_EQ(LocateDataFile("KVFILE.DAT", true, dat_folder), host + "KVFILE.DAT");
  EXPECT_EQ(dat_folder, host);
}

TEST(LocateDataFile, SetFolderGetsOneSeparator) {
  test::ScopedSettings settings;
  test::TempFolder folder;
  test::WriteFileBytes(folder.File("KVFILE.DAT"), {'x'});
  for (const std::string& set : {folder.path().string(), WithSeparator(folder.path().string())}) {
    std::string dat_folder = set;
    EXPECT_EQ(LocateDataFile("KVFILE.DAT", true, dat_folder), folder.File("KVFILE.DAT"));
    EXPECT_EQ(dat_folder, WithSeparator(folder.path().string()));
  }
}

TEST(FindDataFile, PathLongerThanTheLimitIsNotReturned) {
  test::ScopedSettings settings;
  test::TempFolder folder;
  test::WriteFileBytes(folder.File("kvprobe-long.dat"), {'x'});
  settings.Set("KVLocation", folder.path().string());
  const std::string path = folder.File("kvprobe-long.dat");
  EXPECT_EQ(FindDataFile("kvprobe-long.dat", path.size()), path);
  EXPECT_EQ(FindDataFile("kvprobe-long.dat", path.size() - 1), std::nullopt);
}

#if !defined(_WIN32)
TEST(FindDataFile, NamesMatchInExactCaseOnPosix) {
  test::ScopedSettings settings;
  test::TempFolder folder;
  test::WriteFileBytes(folder.File("kvprobe-case.dat"), {'x'});
  settings.Set("KVLocation", folder.path().string());
  EXPECT_EQ(FindDataFile("KVPROBE-CASE.DAT", kShortTextLength), std::nullopt);
}
#endif

TEST(CopyDatFolder, CopiesOnlyWhatFits) {
  const std::string folder = "D:" + WithSeparator("data");
  const int32_t length = static_cast<int32_t>(folder.size());
  char buffer[32];
  std::fill(std::begin(buffer), std::end(buffer), '#');
  EXPECT_EQ(CopyDatFolder(folder, buffer, length - 1), 0);
  EXPECT_EQ(buffer[0], '#');
  EXPECT_EQ(CopyDatFolder(folder, buffer, -1), 0);
  EXPECT_EQ(CopyDatFolder("", buffer, 10), 0);
  EXPECT_EQ(buffer[0], '#');
  EXPECT_EQ(CopyDatFolder(folder, nullptr, 100), 0);
  EXPECT_EQ(CopyDatFolder(folder, buffer, length), 1);
  EXPECT_EQ(std::string(buffer), folder);
  EXPECT_EQ(buffer[length + 1], '#');  // exactly length + 1 bytes written
}

TEST(DataFolder, SettersAndReadersOnManyThreadsSeeWholeFolders) {
  // Hosts set and read the folder while a start searches from it; every
  // text read must be one that was set (never a freed or torn string).
  DataFolder folder;
  const std::string short_folder = "s";
  const std::string long_folder(300, 'l');
  std::atomic<bool> torn{false};
  auto setter = [&](const std::string& text) {
    for (int i = 0; i < 2000; ++i) folder.Set(text);
  };
  auto reader = [&] {
    char buffer[302];
    for (int i = 0; i < 2000; ++i) {
      const std::string text = folder.Get();
      if (!text.empty() && text != short_folder && text != long_folder) torn = true;
      if (folder.CopyTo(buffer, 301) == 1 && buffer != short_folder && buffer != long_folder) {
        torn = true;
      }
    }
  };
  std::thread a(setter, short_folder), b(setter, long_folder), c(reader);
  a.join();
  b.join();
  c.join();
  EXPECT_FALSE(torn);
}

}  // namespace
}  // namespace kv
