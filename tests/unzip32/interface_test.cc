// The unzip library through its exports, called the way the engine calls
// them, on archives made by Info-ZIP zip and Python's zipfile at build time
// and on hand-made hostile ones.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_files.h"
#include "unzip32/unzip32_library.h"
#include "unzip32/zip_writer.h"

namespace kv::test {
namespace {
namespace fs = std::filesystem;

std::string Archive(const std::string& name) { return TestDataPath("unzip32/" + name).string(); }

Bytes SourceFile(const std::string& name) {
  return ReadFileBytes(TestDataPath("unzip32/source/" + name));
}

uint32_t Crc(const Bytes& bytes) {
  return static_cast<uint32_t>(
      crc32(crc32(0, nullptr, 0), bytes.data(), static_cast<uInt>(bytes.size())));
}

class Unzip32Interface : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Unzip32Library::Get().complete()) << Unzip32Library::Get().path();
  }

  // Writes a hand-made archive into the test's folder.
  std::string Write(const ZipArchiveLayout& layout, const std::string& name = "made.zip") {
    const std::string path = folder_.File(name);
    WriteFileBytes(path, BuildZip(layout).bytes);
    return path;
  }

  TempFolder folder_;
};

// What zip and zipfile put in each archive, in directory order.
struct ToolArchive {
  const char* file;
  std::vector<std::string> members;
  bool encrypted = false;
};

const std::vector<ToolArchive>& ToolArchives() {
  static const std::vector<ToolArchive> archives = {
      {"plain.zip", {"a.exe", "b.txt", "sub/", "sub/c.gif", "empty.dat"}},
      {"encrypted.zip", {"a.exe", "b.txt"}, true},
      {"zip64.zip", {"a.exe", "b.txt"}},
      {"commented.zip", {"b.txt"}},
      {"streamed.zip", {"a.exe", "b.txt"}},
      {"prefixed.zip", {"a.exe", "b.txt", "sub/", "sub/c.gif", "empty.dat"}},
      {"descriptors.zip", {"b.txt", "a.exe"}},
      {"forced64.zip", {"b.txt"}},
  };
  return archives;
}

TEST_F(Unzip32Interface, ListsToolMadeArchivesInDirectoryOrderWithEveryArgument) {
  for (const ToolArchive& archive : ToolArchives()) {
    SCOPED_TRACE(archive.file);
    std::vector<ListedMember> listed;
    Unzip32Callbacks callbacks{};
    ASSERT_EQ(ListAsEngine(Archive(archive.file), &listed, &callbacks), UNZIP32_OK);
    ASSERT_EQ(listed.size(), archive.members.size());
    EXPECT_EQ(callbacks.memberCount, archive.members.size());
    for (size_t i = 0; i < listed.size(); ++i) {
      const ListedMember& member = listed[i];
      SCOPED_TRACE(member.name);
      EXPECT_EQ(member.name, archive.members[i]);
      const bool folder = member.name.back() == '/';
      EXPECT_EQ(member.marker, folder ? '/' : ' ');
      const Bytes content = folder ? Bytes{} : SourceFile(member.name);
      EXPECT_EQ(member.size, content.size());
      EXPECT_EQ(member.crc, Crc(content));
      EXPECT_EQ(member.encrypted, archive.encrypted ? 1 : 0);
      EXPECT_TRUE(member.method == "Stored" || member.method.rfind("Defl:", 0) == 0)
          << member.method;
      EXPECT_GE(member.year, 1980u);
      EXPECT_TRUE(member.month >= 1 && member.month <= 12 && member.day >= 1 && member.day <= 31);
      EXPECT_LE(member.percent_saved, 100u);
    }
  }
  std::vector<ListedMember> listed;
  Unzip32Callbacks callbacks{};
  ASSERT_EQ(ListAsEngine(Archive("commented.zip"), &listed, &callbacks), UNZIP32_OK);
  EXPECT_EQ(callbacks.commentLength, 60000);
  EXPECT_EQ(callbacks.totalUncompressed, 22000u);
  EXPECT_GT(listed[0].percent_saved, 90u);  // repeated text deflates well
}

TEST_F(Unzip32Interface, ExtractsEveryMemberOfToolMadeArchivesToMemory) {
  for (const ToolArchive& archive : ToolArchives()) {
    SCOPED_TRACE(archive.file);
    const char* password = archive.encrypted ? "secret" : "";
    for (uint32_t i = 0; i < archive.members.size(); ++i) {
      const std::string& name = archive.members[i];
      SCOPED_TRACE(name);
      const Bytes content = name.back() == '/' ? Bytes{} : SourceFile(name);
      const Extracted by_name = ExtractByName(Archive(archive.file), name, password);
      EXPECT_TRUE(by_name.ok);
      EXPECT_EQ(by_name.bytes, content);
      const Extracted by_index = ExtractByIndex(Archive(archive.file), i, password);
      EXPECT_TRUE(by_index.ok);
      EXPECT_EQ(by_index.bytes, content);
    }
  }
}

TEST_F(Unzip32Interface, EncryptedMembersFailWithTheEnginesEmptyPassword) {
  for (const char* name : {"a.exe", "b.txt"}) {
    SCOPED_TRACE(name);
    TakePasswordQueries();
    EXPECT_FALSE(ExtractByName(Archive("encrypted.zip"), name, "").ok);
    EXPECT_EQ(TakePasswordQueries(), std::vector<std::string>{name});
    EXPECT_FALSE(ExtractByName(Archive("encrypted.zip"), name, "wrong").ok);
    EXPECT_EQ(ExtractByName(Archive("encrypted.zip"), name, "secret").bytes, SourceFile(name));
  }
}

struct Indexed {
  uint32_t index;
  uint32_t size;
  std::string name;
};

void UNZIP32_CALL CollectIndexed(void* context, uint32_t index, uint32_t size, const char* name,
                                 uint32_t length) {
  static_cast<std::vector<Indexed>*>(context)->push_back({index, size, std::string(name, length)});
}

TEST_F(Unzip32Interface, NamesPickExactThenIgnoringCaseAndIndexesReachEveryTwin) {
  const std::string names = Archive("names.zip");
  auto text = [](int i) { return BytesOf("member " + std::to_string(i)); };
  EXPECT_EQ(ExtractByName(names, "a.exe").bytes, text(0));
  EXPECT_EQ(ExtractByName(names, "A.EXE").bytes, text(1));
  EXPECT_EQ(ExtractByName(names, "A.exe").bytes, text(0));
  EXPECT_EQ(ExtractByName(names, "BACK\\SLASH.TXT").bytes, text(4));
  EXPECT_FALSE(ExtractByName(names, "a.*").ok) << "no wildcards";
  EXPECT_FALSE(ExtractByName(names, "missing").ok);

  std::vector<Indexed> indexed;
  ASSERT_EQ(Unzip32Library::Get().list_indexed(names.c_str(), CollectIndexed, &indexed),
            UNZIP32_OK);
  ASSERT_EQ(indexed.size(), 8u);
  for (uint32_t i = 0; i < indexed.size(); ++i) {
    EXPECT_EQ(indexed[i].index, i);
    const bool folder = indexed[i].name.back() == '/';
    EXPECT_EQ(indexed[i].size, folder ? 0u : text(static_cast<int>(i)).size());
    EXPECT_EQ(ExtractByIndex(names, i).bytes, folder ? Bytes{} : text(static_cast<int>(i)));
  }
  EXPECT_EQ(indexed[2].name, "a.exe");
  EXPECT_EQ(indexed[3].name, "dir with space/\xC3\xA9t\xC3\xA9.txt");
  EXPECT_EQ(indexed[6].name.size(), 65535u);
  EXPECT_FALSE(ExtractByIndex(names, 8).ok);

  std::vector<ListedMember> listed;
  ASSERT_EQ(ListAsEngine(names, &listed), UNZIP32_OK);
  EXPECT_EQ(listed[6].name, indexed[6].name) << "names are listed whole";
}

TEST_F(Unzip32Interface, ListingFailsAndListsNothingWhenTheDirectoryCannotBeRead) {
  ZipArchiveLayout three;
  three.members = {{.name = "a", .content = BytesOf("aaa")},
                   {.name = "b", .content = BytesOf("bbb")}};
  ZipArchiveLayout past_end = three;
  past_end.declared_directory_offset = 1u << 20;
  ZipArchiveLayout too_many;
  too_many.zip64_end = true;  // the count does not fit the 16-bit field
  for (int i = 0; i <= 100000; ++i)
    too_many.members.push_back({.name = std::to_string(i), .method = 0});
  struct Case {
    const char* what;
    std::string path;
    int expected;
  };
  WriteFileBytes(folder_.File("text.zip"), BytesOf("not an archive at all"));
  WriteFileBytes(folder_.File("pk.zip"), BytesOf("PK"));
  const std::vector<Case> cases = {
      {"missing file", folder_.File("missing.zip"), UNZIP32_NOT_ARCHIVE},
      {"text", folder_.File("text.zip"), UNZIP32_NOT_ARCHIVE},
      {"only PK", folder_.File("pk.zip"), UNZIP32_NOT_ARCHIVE},
      {"a folder", folder_.path().string(), UNZIP32_NOT_ARCHIVE},
      {"directory past the end", Write(past_end, "past.zip"), UNZIP32_DAMAGED},
      {"more than 100,000 members", Write(too_many, "many.zip"), UNZIP32_LIMIT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<ListedMember> listed;
    EXPECT_EQ(ListAsEngine(c.path, &listed), c.expected);
    EXPECT_TRUE(listed.empty());
    EXPECT_FALSE(ExtractByIndex(c.path, 0).ok);
  }
  std::vector<ListedMember> listed;
  EXPECT_EQ(ListAsEngine(Write({}, "empty.zip"), &listed), UNZIP32_OK);
  EXPECT_TRUE(listed.empty());
}

TEST_F(Unzip32Interface, ExtractionToMemoryStopsBombsAndHonoursTheSizeCap) {
  ZipArchiveLayout layout;
  layout.members = {{.name = "bomb.exe", .content = Bytes(64u << 20, 0), .declared_size = 4096},
                    {.name = "fine.exe", .content = Bytes(5000, 'f')}};
  const std::string path = Write(layout);
  EXPECT_FALSE(ExtractByName(path, "bomb.exe").ok);

  const auto set_cap = Unzip32Library::Get().set_max_member_size;
  EXPECT_EQ(set_cap(4999), 256u << 20);
  EXPECT_FALSE(ExtractByName(path, "fine.exe").ok);
  EXPECT_EQ(set_cap(5000), 4999u);
  EXPECT_TRUE(ExtractByName(path, "fine.exe").ok);
  EXPECT_EQ(set_cap(0), 5000u);
  EXPECT_EQ(set_cap(0), 256u << 20) << "0 restores the default";
}

TEST_F(Unzip32Interface, ADamagedMemberDoesNotHideItsNeighbours) {
  ZipArchiveLayout layout;
  layout.members = {{.name = "a.exe", .content = Bytes(3000, 'a')},
                    {.name = "b.exe", .content = Bytes(3000, 'b'), .declared_crc = 1},
                    {.name = "c.exe", .content = Bytes(3000, 'c'), .method = 99},
                    {.name = "d.exe", .content = Bytes(3000, 'd')}};
  const std::string path = Write(layout);
  std::vector<ListedMember> listed;
  ASSERT_EQ(ListAsEngine(path, &listed), UNZIP32_OK);
  ASSERT_EQ(listed.size(), 4u);
  EXPECT_EQ(listed[2].method, "Unk:99");
  EXPECT_EQ(ExtractByName(path, "a.exe").bytes, Bytes(3000, 'a'));
  EXPECT_FALSE(ExtractByName(path, "b.exe").ok);
  EXPECT_FALSE(ExtractByName(path, "c.exe").ok);
  EXPECT_EQ(ExtractByName(path, "d.exe").bytes, Bytes(3000, 'd'));
}

TEST_F(Unzip32Interface, ExtractsOneMemberIntoTheFolderUnderItsStoredName) {
  const fs::path out = folder_.path() / "out";
  fs::create_directory(out);
  EXPECT_EQ(ExtractToFolder(Archive("plain.zip"), {"sub/c.gif"}, out.string()), UNZIP32_OK);
  EXPECT_EQ(ReadFileBytes(out / "sub" / "c.gif"), SourceFile("sub/c.gif"));
  EXPECT_EQ(ExtractToFolder(Archive("plain.zip"), {"B.TXT"}, out.string()), UNZIP32_OK);
  EXPECT_EQ(ReadFileBytes(out / "b.txt"), SourceFile("b.txt"));
  EXPECT_FALSE(fs::exists(out / "a.exe")) << "only the member named";
  EXPECT_EQ(ExtractToFolder(Archive("plain.zip"), {"nothing"}, out.string()), UNZIP32_NO_MATCH);
  EXPECT_EQ(ExtractToFolder(Archive("encrypted.zip"), {"a.exe"}, out.string()),
            UNZIP32_BAD_PASSWORD);
  EXPECT_FALSE(fs::exists(out / "a.exe")) << "a failed member leaves no file";
}

TEST_F(Unzip32Interface, RefusesEveryNameThatCouldWriteOutsideTheFolder) {
  const std::vector<std::string> names = {
      "../evil.txt", "..\\evil.txt",  "/abs.txt",       "\\abs.txt",         "C:/drive.txt",
      "C:drive.txt", "c:\\drive.txt", "a/../../up.txt", "a\\..\\..\\up.txt", "a/b/../../../up.txt",
      "sub/..",      "...\\up.txt",   ".. /up.txt",     "x:stream",
  };
  ZipArchiveLayout layout;
  for (const std::string& name : names)
    layout.members.push_back({.name = name, .content = BytesOf("pest")});
  const std::string path = Write(layout);
  const fs::path out = folder_.path() / "deep" / "out";
  fs::create_directories(out);
  for (const std::string& name : names) {
    EXPECT_EQ(ExtractToFolder(path, {name}, out.string()), UNZIP32_UNSAFE_NAME) << name;
  }
  EXPECT_EQ(ExtractToFolder(path, {}, out.string()), UNZIP32_UNSAFE_NAME) << "all at once";
  std::vector<fs::path> found;
  for (const auto& entry : fs::recursive_directory_iterator(folder_.path()))
    found.push_back(entry.path());
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, (std::vector<fs::path>{folder_.path() / "deep", out, fs::path(path)}));
}

#if !defined(_WIN32)
TEST_F(Unzip32Interface, DoesNotFollowALinkInsideTheFolder) {
  const fs::path out = folder_.path() / "out";
  const fs::path outside = folder_.path() / "outside";
  fs::create_directories(out);
  fs::create_directories(outside);
  fs::create_directory_symlink(outside, out / "sub");
  EXPECT_EQ(ExtractToFolder(Archive("plain.zip"), {"sub/c.gif"}, out.string()),
            UNZIP32_UNSAFE_NAME);
  fs::create_symlink(outside / "target", out / "b.txt");
  EXPECT_EQ(ExtractToFolder(Archive("plain.zip"), {"b.txt"}, out.string()), UNZIP32_UNSAFE_NAME);
  EXPECT_TRUE(fs::is_empty(outside));
}
#endif

TEST_F(Unzip32Interface, ReplacesAnExistingFileOnlyWhenTheQueryAgrees) {
  const fs::path out = folder_.path() / "out";
  fs::create_directory(out);
  const Bytes old = BytesOf("old");
  WriteFileBytes(out / "b.txt", old);
  EXPECT_EQ(ExtractToFolder(Archive("plain.zip"), {"b.txt"}, out.string(), 0), UNZIP32_SKIPPED);
  EXPECT_EQ(ReadFileBytes(out / "b.txt"), old);
  EXPECT_EQ(ExtractToFolder(Archive("plain.zip"), {"b.txt"}, out.string(), -1), UNZIP32_SKIPPED)
      << "no query: keep";
  EXPECT_EQ(ReadFileBytes(out / "b.txt"), old);
  EXPECT_EQ(ExtractToFolder(Archive("plain.zip"), {"b.txt"}, out.string(), 1), UNZIP32_OK);
  EXPECT_EQ(ReadFileBytes(out / "b.txt"), SourceFile("b.txt"));
}

TEST_F(Unzip32Interface, ARewrittenArchiveIsReadAgain) {
  ZipArchiveLayout first;
  first.members = {{.name = "one.exe", .content = BytesOf("first")}};
  ZipArchiveLayout second;
  second.members = {{.name = "one.exe", .content = BytesOf("second!")}, {.name = "two.exe"}};
  const std::string path = Write(first);
  std::vector<ListedMember> listed;
  ASSERT_EQ(ListAsEngine(path, &listed), UNZIP32_OK);
  EXPECT_EQ(ExtractByName(path, "one.exe").bytes, BytesOf("first"));
  Write(second);
  ASSERT_EQ(ListAsEngine(path, &listed), UNZIP32_OK);
  EXPECT_EQ(listed.size(), 2u);
  EXPECT_EQ(ExtractByName(path, "one.exe").bytes, BytesOf("second!"));
}

}  // namespace
}  // namespace kv::test
