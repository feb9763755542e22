// The exclusion file store: checksum, stamp round trip and its sidecar
// fallback, tamper handling, line parsing, saving and appending.
#include "exclusions/exclusion_store.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "common/crc32.h"
#include "exclusions/exclusion_list.h"
#include "platform/paths.h"
#include "platform/stamp.h"
#include "support/exclusion_fixture.h"
#include "support/faulty_file_system.h"
#include "support/native_path.h"

namespace kv {
namespace {

namespace fs = std::filesystem;
using test::ExclusionFixture;
using test::FaultyFileSystem;
using test::NativePath;
using Entries = std::vector<std::string>;

#if defined(_WIN32)
const char* const kLineEnd = "\r\n";  // text mode on Windows
#else
const char* const kLineEnd = "\n";
#endif

uint16_t LowChecksum(const std::string& content) {
  return static_cast<uint16_t>(Crc32(content.data(), content.size()) & 0xFFFFu);
}

std::optional<uint16_t> FileStamp(const std::string& path) {
  auto file = platform::UpdatableFile::Open(path.c_str());
  return file ? file->ReadStamp() : std::nullopt;
}

std::string SidecarText(const std::string& path) {
  const std::string sidecar = path + kStampSidecarSuffix;
  if (!fs::exists(sidecar)) return "";
  const test::Bytes bytes = test::ReadFileBytes(sidecar);
  return std::string(bytes.begin(), bytes.end());
}

std::string Hex4(uint16_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(value));
  return text;
}

void MakeReadOnly(const std::string& path) {
  fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
}

TEST(FileChecksum, IsTheCrcOfTheBytesOrZero) {
  test::TempFolder folder;
  const std::string path = folder.File("f");
  EXPECT_EQ(FileChecksum(path.c_str()), 0u);  // missing
  test::WriteFileBytes(path, {});
  EXPECT_EQ(FileChecksum(path.c_str()), 0u);  // empty
  const std::string content(200000, 'q');     // more than one read piece
  test::WriteFileBytes(path, test::Bytes(content.begin(), content.end()));
  EXPECT_EQ(FileChecksum(path.c_str()), Crc32(content.data(), content.size()));
  EXPECT_EQ(FileChecksum(nullptr), 0u);
}

TEST(ExclusionStore, MissingAndEmptyFilesLoadEmptyWithoutMessage) {
  ExclusionFixture fixture;
  EXPECT_FALSE(fixture.list().Load());
  fixture.WriteForeign("");
  EXPECT_TRUE(fixture.list().Load());
  EXPECT_TRUE(fixture.list().entries().empty());
  EXPECT_TRUE(fixture.messages().empty());
}

TEST(ExclusionStore, AppendStampsTheFileInOnePlace) {
  ExclusionFixture fixture;
  ASSERT_TRUE(fixture.list().Append(NativePath("C:\\ONE").c_str()));
  ASSERT_TRUE(fixture.list().Append(NativePath("C:\\TWO").c_str()));
  const std::string content = fixture.Content();
  EXPECT_EQ(content, NativePath("C:\\ONE") + kLineEnd + NativePath("C:\\TWO") + kLineEnd);
  const uint16_t stamp = LowChecksum(content);
  // Where the file system keeps it (POSIX user attributes, NTFS) the stamp
  // is in the file and there is no sidecar; where it does not (wine), the
  // sidecar holds it.
  if (FileStamp(fixture.path()) == stamp) {
    EXPECT_EQ(SidecarText(fixture.path()), "");
  } else {
    EXPECT_EQ(SidecarText(fixture.path()), Hex4(stamp));
  }
  EXPECT_TRUE(fixture.list().Load());
  EXPECT_EQ(fixture.list().entries(), (Entries{NativePath("C:\\ONE"), NativePath("C:\\TWO")}));
  EXPECT_TRUE(fixture.messages().empty());
}

#if !defined(_WIN32)
TEST(ExclusionStore, PosixStampIsAnAttributeOfFourHexDigits) {
  ExclusionFixture fixture;
  ASSERT_TRUE(fixture.list().Append("/data"));
  EXPECT_EQ(FileStamp(fixture.path()), LowChecksum("/data\n"));
}
#endif

TEST(ExclusionStore, SidecarHoldsTheStampWhereTheFileCannot) {
  FaultyFileSystem no_stamps(FaultyFileSystem::Stamps::kNotKept);
  ExclusionFixture fixture(no_stamps);
  ASSERT_TRUE(fixture.list().Append(NativePath("C:\\ONE").c_str()));
  EXPECT_EQ(SidecarText(fixture.path()), Hex4(LowChecksum(fixture.Content())));
  EXPECT_TRUE(fixture.list().Load());
  EXPECT_EQ(fixture.list().entries(), Entries{NativePath("C:\\ONE")});
  EXPECT_TRUE(fixture.messages().empty());

  // Once the file itself holds the stamp again, the sidecar goes.
  WriteExclusionStamp(platform::FileSystem::Default(), fixture.path());
  const bool file_holds = FileStamp(fixture.path()) == LowChecksum(fixture.Content());
  EXPECT_EQ(fs::exists(fixture.path() + kStampSidecarSuffix), !file_holds);
}

struct TamperCase {
  const char* name;
  FaultyFileSystem::Stamps stamps;
  bool stamp_first;
};
void PrintTo(const TamperCase& c, std::ostream* os) { *os << c.name; }

class TamperedList : public testing::TestWithParam<TamperCase> {};

TEST_P(TamperedList, IsEmptiedWithOneMessage) {
  FaultyFileSystem files(GetParam().stamps);
  ExclusionFixture fixture(files);
  if (GetParam().stamp_first) {
    ASSERT_TRUE(fixture.list().Append(NativePath("C:\\ONE").c_str()));
    fixture.WriteForeign(fixture.Content() + NativePath("C:\\TEMP") + "\n");
  } else {
    fixture.WriteForeign(NativePath("C:\\TEMP") + "\n");
  }
  EXPECT_FALSE(fixture.list().Load());
  EXPECT_TRUE(fixture.list().entries().empty());
  EXPECT_EQ(fixture.Content(), "");
  ASSERT_EQ(fixture.messages().size(), 1u);
  EXPECT_EQ(fixture.messages()[0], kTamperedListMessage);

  EXPECT_TRUE(fixture.list().Load());  // the empty file passes silently
  EXPECT_EQ(fixture.messages().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TamperedList,
    testing::Values(TamperCase{"foreign_file", FaultyFileSystem::Stamps::kKept, false},
                    TamperCase{"changed_after_stamp", FaultyFileSystem::Stamps::kKept, true},
                    TamperCase{"changed_after_sidecar_stamp", FaultyFileSystem::Stamps::kNotKept,
                               true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExclusionStore, ReadOnlyListIsTrustedAndNeverEmptied) {
  ExclusionFixture fixture;
  fixture.WriteForeign(NativePath("C:\\ONE\nC:\\TWO\n"));
  MakeReadOnly(fixture.path());
  EXPECT_TRUE(fixture.list().Load());
  EXPECT_EQ(fixture.list().entries(), (Entries{NativePath("C:\\ONE"), NativePath("C:\\TWO")}));
  EXPECT_TRUE(fixture.messages().empty());
  // Nor is it written: appending and rewriting both fail and leave it alone.
  EXPECT_FALSE(fixture.list().Append(NativePath("C:\\THREE").c_str()));
  EXPECT_FALSE(fixture.list().Save());
  EXPECT_EQ(fixture.Content(), NativePath("C:\\ONE\nC:\\TWO\n"));
  fs::permissions(fixture.path(), fs::perms::owner_write, fs::perm_options::add);
}

struct LineCase {
  const char* name;
  std::string content;
  Entries entries;
};
void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }

class LoadsLines : public testing::TestWithParam<LineCase> {};

TEST_P(LoadsLines, AsEntries) {
  ExclusionFixture fixture;
  fixture.WriteStamped(GetParam().content);
  EXPECT_TRUE(fixture.list().Load());
  EXPECT_EQ(fixture.list().entries(), GetParam().entries);
  EXPECT_TRUE(fixture.messages().empty());
}

const std::string k259(259, 'a');
const std::string k260(260, 'b');

INSTANTIATE_TEST_SUITE_P(
    Table, LoadsLines,
    testing::Values(LineCase{"bar_cuts", "C:\\DATA|anything\n", {"C:\\DATA"}},
                    LineCase{"bar_first_is_ignored", "|C:\\DATA\nX\n", {"X"}},
                    LineCase{"spaces_kept", "  C:\\A B \t\n", {"  C:\\A B \t"}},
                    LineCase{"crlf_and_lf_alike", "ONE\r\nTWO\nTHREE\r\n", {"ONE", "TWO", "THREE"}},
                    LineCase{"last_line_unended", "ONE\nTWO", {"ONE", "TWO"}},
                    LineCase{"empty_lines_ignored", "\n\r\nONE\n\n", {"ONE"}},
                    LineCase{"marker_loads", "BadFood\nbadfood\n", {"BadFood", "badfood"}},
                    LineCase{"duplicates_kept", "A\nA\n", {"A", "A"}},
                    LineCase{"259_characters_kept", k259 + "\r\nNEXT\n", {k259, "NEXT"}},
                    LineCase{"260_characters_skipped_whole", k260 + "\nNEXT\n", {"NEXT"}},
                    LineCase{"cut_within_limit", k259 + "|" + k260 + "\n", {k259}},
                    LineCase{"long_line_never_split", std::string(1500, 'c') + "\nNEXT", {"NEXT"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExclusionStore, SaveDropsMarkersInAnyCase) {
  ExclusionFixture fixture;
  fixture.WriteStamped("ONE\nbadFOOD\nTWO\nBADFOOD\n");
  ASSERT_TRUE(fixture.list().Load());
  ASSERT_TRUE(fixture.list().Save());
  EXPECT_EQ(fixture.Content(), std::string("ONE") + kLineEnd + "TWO" + kLineEnd);
  EXPECT_TRUE(fixture.list().Load());
  EXPECT_EQ(fixture.list().entries(), (Entries{"ONE", "TWO"}));
  EXPECT_TRUE(fixture.messages().empty());
}

TEST(ExclusionStore, AppendWritesTheShortFormWithoutTrailingSeparator) {
  ExclusionFixture fixture;
  const fs::path tool = fixture.folder().path() / "Program Files" / "Tool";
  fs::create_directories(tool);
  ASSERT_TRUE(fixture.list().Append(test::WithSeparator(tool.string()).c_str()));
  const std::optional<std::string> short_form =
      platform::ShortPathName(tool.string().c_str(), 4095);
  ASSERT_TRUE(short_form.has_value());
  EXPECT_EQ(fixture.Content(), *short_form + kLineEnd);
}

TEST(ExclusionStore, AppendRefusesTextThatCannotLoadBackAsOneEntry) {
  ExclusionFixture fixture;
  for (const std::string& text :
       {std::string(), std::string(260, 'x'), std::string("A\nB"), std::string("A|B")}) {
    EXPECT_FALSE(fixture.list().Append(text.c_str())) << text;
  }
  EXPECT_FALSE(fixture.list().Append(nullptr));
  EXPECT_FALSE(fixture.Exists());
  EXPECT_TRUE(fixture.list().Append(std::string(259, 'x').c_str()));
}

#if !defined(_WIN32)
TEST(ExclusionStore, FilesystemRootIsKeptAsItsSeparator) {
  ExclusionFixture fixture;
  ASSERT_TRUE(fixture.list().Append("/"));
  EXPECT_EQ(fixture.Content(), "/\n");
}
#else
TEST(ExclusionStore, DriveRootLosesItsSeparator) {
  ExclusionFixture fixture;
  ASSERT_TRUE(fixture.list().Append("C:\\"));
  EXPECT_EQ(fixture.Content(), "C:\r\n");
}
#endif

}  // namespace
}  // namespace kv
