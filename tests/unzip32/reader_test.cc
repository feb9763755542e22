// The ZIP reader over bytes in memory: well-formed archives from the test
// writer, and hostile ones that must fail cleanly, alone, and cheaply.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "reader/directory.h"
#include "reader/member_reader.h"
#include "unzip32/zip_writer.h"

namespace kv::zip {
namespace {

using test::BuildZip;
using test::BytesOf;
using test::ZipArchiveLayout;
using test::ZipBytes;
using test::ZipMemberLayout;

ZipBytes Pattern(size_t size, uint32_t seed) {
  ZipBytes bytes(size);
  for (size_t i = 0; i < size; ++i) {
    seed = seed * 1103515245u + 12345u;
    bytes[i] = static_cast<uint8_t>(seed >> 16);
  }
  return bytes;
}

// An archive in memory with its directory read.
struct Opened {
  explicit Opened(ZipBytes archive, const Limits& limits = {})
      : bytes(std::move(archive)), source(bytes) {
    status = Directory::Read(source, limits, &directory);
  }

  ZipStatus Extract(size_t index, std::vector<uint8_t>* out, const std::string& password = "",
                    uint64_t max_declared = UINT64_MAX) {
    ExtractRequest request;
    request.max_declared_size = max_declared;
    if (!password.empty()) {
      request.password = [password](std::string_view) { return std::optional(password); };
    }
    return ExtractToVector(source, *directory, index, request, out);
  }

  ZipBytes bytes;
  MemorySource source;
  ZipStatus status;
  std::unique_ptr<Directory> directory;
};

ZipArchiveLayout ThreeMembers() {
  ZipArchiveLayout layout;
  layout.members = {{.name = "a.exe", .content = Pattern(5000, 1), .method = 0},
                    {.name = "b.txt", .content = ZipBytes(20000, 'b')},
                    {.name = "sub/c.gif", .content = Pattern(300, 3)}};
  return layout;
}

TEST(ZipReader, ReadsEveryFormOfMember) {
  struct Case {
    const char* what;
    ZipMemberLayout member;
    bool zip64_end = false;
  };
  const ZipBytes content = Pattern(70000, 7);
  const std::vector<Case> cases = {
      {"stored", {.name = "m", .content = content, .method = 0}},
      {"deflated", {.name = "m", .content = content}},
      {"empty", {.name = "m", .content = {}}},
      {"descriptor with signature",
       {.name = "m",
        .content = content,
        .descriptor = ZipMemberLayout::Descriptor::kWithSignature}},
      {"descriptor without signature",
       {.name = "m",
        .content = content,
        .descriptor = ZipMemberLayout::Descriptor::kWithoutSignature}},
      {"encrypted, stored", {.name = "m", .content = content, .method = 0, .password = "pw"}},
      {"encrypted with descriptor",
       {.name = "m",
        .content = content,
        .descriptor = ZipMemberLayout::Descriptor::kWithSignature,
        .password = "pw"}},
      {"ZIP64 extra fields", {.name = "m", .content = content, .zip64 = true}},
      {"ZIP64 end record", {.name = "m", .content = content}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ZipArchiveLayout layout;
    layout.members = {c.member};
    layout.zip64_end = c.zip64_end;
    Opened archive(BuildZip(layout).bytes);
    ASSERT_EQ(archive.status, ZipStatus::kOk);
    ASSERT_EQ(archive.directory->size(), 1u);
    std::vector<uint8_t> out;
    EXPECT_EQ(archive.Extract(0, &out, "pw"), ZipStatus::kOk);
    EXPECT_EQ(out, c.member.content);
  }
}

TEST(ZipReader, ListsNamesAsStoredInDirectoryOrder) {
  ZipArchiveLayout layout;
  const std::string long_name(65535, 'n');
  const std::string odd_name("\xE9t\xE9\\dir/..x\x01", 13);
  layout.members = {{.name = "z"}, {.name = long_name}, {.name = odd_name}, {.name = "folder/"}};
  Opened archive(BuildZip(layout).bytes);
  ASSERT_EQ(archive.status, ZipStatus::kOk);
  ASSERT_EQ(archive.directory->size(), 4u);
  EXPECT_EQ(archive.directory->name(0), "z");
  EXPECT_EQ(archive.directory->name(1), long_name);
  EXPECT_EQ(archive.directory->name(2), odd_name);
  EXPECT_TRUE(archive.directory->IsFolder(3));
  EXPECT_FALSE(archive.directory->IsFolder(2));
}

TEST(ZipReader, FindsExactNameFirstThenIgnoringCaseAndKeepsTheFirstTwin) {
  ZipArchiveLayout layout;
  layout.members = {{.name = "A.EXE"}, {.name = "a.exe"}, {.name = "a.exe"}, {.name = "B.txt"}};
  Opened archive(BuildZip(layout).bytes);
  ASSERT_EQ(archive.status, ZipStatus::kOk);
  const Directory& directory = *archive.directory;
  EXPECT_EQ(directory.Find("a.exe"), 1u);
  EXPECT_EQ(directory.Find("A.EXE"), 0u);
  EXPECT_EQ(directory.Find("A.exe"), 0u);  // no exact match: the first ignoring case
  EXPECT_EQ(directory.Find("b.TXT"), 3u);
  EXPECT_EQ(directory.Find("b.TXT", false), std::nullopt);
  EXPECT_EQ(directory.Find("c"), std::nullopt);
  EXPECT_EQ(directory.Find(""), std::nullopt);
}

TEST(ZipReader, FindsEveryNameOfALargeDirectory) {
  ZipArchiveLayout layout;
  for (int i = 0; i < 3000; ++i)
    layout.members.push_back({.name = "dir/member" + std::to_string(i)});
  Opened archive(BuildZip(layout).bytes);
  ASSERT_EQ(archive.status, ZipStatus::kOk);
  for (uint32_t i = 0; i < 3000; ++i) {
    ASSERT_EQ(archive.directory->Find("DIR/MEMBER" + std::to_string(i)), i);
  }
}

ZipBytes EndRecordWithLongComment() {
  ZipBytes record = {'P', 'K', 5, 6};
  record.resize(20, 0);
  record.push_back(0xFF);
  record.push_back(0xFF);
  return record;
}

TEST(ZipReader, RefusesWhatIsNotAnArchive) {
  const std::vector<std::pair<const char*, ZipBytes>> cases = {
      {"empty file", {}},
      {"only PK", BytesOf("PK")},
      {"PK and a local signature", BytesOf("PK\x03\x04")},
      {"text", BytesOf(std::string(100, 't'))},
      {"end signature with a comment longer than the file", EndRecordWithLongComment()},
  };
  for (const auto& [what, bytes] : cases) {
    SCOPED_TRACE(what);
    EXPECT_EQ(Opened(bytes).status, ZipStatus::kNotArchive);
  }
}

TEST(ZipReader, ReadsAnEmptyArchive) {
  Opened archive(BuildZip({}).bytes);
  ASSERT_EQ(archive.status, ZipStatus::kOk);
  EXPECT_EQ(archive.directory->size(), 0u);
}

TEST(ZipReader, FindsTheEndRecordBehindTheLongestComment) {
  ZipArchiveLayout layout = ThreeMembers();
  layout.comment = std::string(65535, 'c');
  Opened archive(BuildZip(layout).bytes);
  ASSERT_EQ(archive.status, ZipStatus::kOk);
  EXPECT_EQ(archive.directory->size(), 3u);
  EXPECT_EQ(archive.directory->comment_length(), 65535);
}

TEST(ZipReader, ReadsAnArchiveBehindPrependedBytes) {
  ZipArchiveLayout layout = ThreeMembers();
  layout.prefix = Pattern(4096, 9);
  Opened archive(BuildZip(layout).bytes);
  ASSERT_EQ(archive.status, ZipStatus::kOk);
  std::vector<uint8_t> out;
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(archive.Extract(i, &out), ZipStatus::kOk);
    EXPECT_EQ(out, layout.members[i].content);
  }
}

TEST(ZipReader, FailsCleanlyWhenCutAtAnyStructuralBoundary) {
  const test::ZipArchive whole = BuildZip(ThreeMembers());
  for (uint64_t boundary : whole.boundaries) {
    for (uint64_t cut : {boundary - 1, boundary, boundary + 1}) {
      if (cut == 0 || cut >= whole.bytes.size()) continue;
      SCOPED_TRACE(cut);
      // Cut short: the end record is gone.
      EXPECT_EQ(Opened(ZipBytes(whole.bytes.begin(), whole.bytes.begin() + cut)).status,
                ZipStatus::kNotArchive);
      // Cut short, with the end record put back: it points past the end.
      if (cut >= whole.end_offset) continue;
      ZipBytes patched(whole.bytes.begin(), whole.bytes.begin() + cut);
      patched.insert(patched.end(), whole.bytes.begin() + whole.end_offset, whole.bytes.end());
      Opened archive(patched);
      if (archive.status != ZipStatus::kOk) {
        EXPECT_EQ(archive.status, ZipStatus::kDamagedDirectory);
        continue;
      }
      // The directory survived (the cut fell within the directory's tail
      // or earlier bytes were cut): whatever members remain fail alone.
      std::vector<uint8_t> out;
      for (size_t i = 0; i < archive.directory->size(); ++i) archive.Extract(i, &out);
    }
  }
}

TEST(ZipReader, RefusesDirectoriesThatCannotBeRead) {
  struct Case {
    const char* what;
    ZipArchiveLayout layout;
    ZipStatus expected;
  };
  auto with = [](auto change) {
    ZipArchiveLayout layout = ThreeMembers();
    change(layout);
    return layout;
  };
  const std::vector<Case> cases = {
      {"directory past the end",
       with([](ZipArchiveLayout& s) { s.declared_directory_offset = 1u << 30; }),
       ZipStatus::kDamagedDirectory},
      {"directory larger than the file",
       with([](ZipArchiveLayout& s) { s.declared_directory_size = 1u << 20; }),
       ZipStatus::kDamagedDirectory},
      {"more entries than the directory holds",
       with([](ZipArchiveLayout& s) { s.declared_entry_count = 4; }), ZipStatus::kDamagedDirectory},
      {"entry count that cannot fit",
       with([](ZipArchiveLayout& s) { s.declared_entry_count = 60000; }),
       ZipStatus::kDamagedDirectory},
      {"ZIP64 saturated size without its extra field",
       with([](ZipArchiveLayout& s) { s.members[1].declared_size = 0xFFFFFFFF; }),
       ZipStatus::kDamagedDirectory},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Opened(BuildZip(c.layout).bytes).status, c.expected);
  }
}

TEST(ZipReader, RefusesArchivesBeyondTheDirectoryBounds) {
  ZipArchiveLayout layout;
  for (int i = 0; i < 11; ++i) layout.members.push_back({.name = std::to_string(i) + ".m"});
  const ZipBytes bytes = BuildZip(layout).bytes;
  Limits few_members;
  few_members.max_members = 10;
  EXPECT_EQ(Opened(bytes, few_members).status, ZipStatus::kTooManyMembers);
  Limits small_directory;
  small_directory.max_directory_bytes = 11 * 46;
  EXPECT_EQ(Opened(bytes, small_directory).status, ZipStatus::kDirectoryTooLarge);
  Limits exact;
  exact.max_members = 11;
  exact.max_directory_bytes = 11 * (46 + 4);
  EXPECT_EQ(Opened(bytes, exact).status, ZipStatus::kOk);
}

TEST(ZipReader, ADamagedMemberFailsAloneAndCleanly) {
  struct Case {
    const char* what;
    ZipMemberLayout damaged;
    ZipStatus expected;
  };
  const ZipBytes content = Pattern(3000, 5);
  const std::vector<Case> cases = {
      {"wrong CRC",
       {.name = "d", .content = content, .declared_crc = 0x12345678},
       ZipStatus::kCrcMismatch},
      {"stored, declared shorter",
       {.name = "d", .content = content, .method = 0, .declared_size = 10},
       ZipStatus::kSizeMismatch},
      {"deflated, declared longer",
       {.name = "d", .content = content, .declared_size = 3001},
       ZipStatus::kSizeMismatch},
      {"compressed size past the next member",
       {.name = "d", .content = content, .declared_compressed_size = 100000},
       ZipStatus::kDamagedMember},
      {"compressed size cuts the stream",
       {.name = "d", .content = content, .declared_compressed_size = 100},
       ZipStatus::kDamagedMember},
      {"local header past the directory",
       {.name = "d", .content = content, .declared_offset = 0xFFFFFF},
       ZipStatus::kDamagedMember},
      {"unsupported method",
       {.name = "d", .content = content, .method = 12},
       ZipStatus::kUnsupportedMethod},
      {"wrong password",
       {.name = "d", .content = content, .password = "other"},
       ZipStatus::kBadPassword},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ZipArchiveLayout layout = ThreeMembers();
    layout.members.insert(layout.members.begin() + 1, c.damaged);
    Opened archive(BuildZip(layout).bytes);
    ASSERT_EQ(archive.status, ZipStatus::kOk);
    std::vector<uint8_t> out;
    EXPECT_EQ(archive.Extract(1, &out, "secret"), c.expected);
    EXPECT_TRUE(out.empty());
    for (size_t i : {0, 2, 3}) {
      EXPECT_EQ(archive.Extract(i, &out), ZipStatus::kOk) << i;
      EXPECT_EQ(out, layout.members[i].content);
    }
  }
}

TEST(ZipReader, LocalNamesAndExtrasAreReadFromTheLocalHeader) {
  ZipArchiveLayout layout = ThreeMembers();
  layout.members[0].local_name = std::string(3000, 'L');  // longer than the central name
  Opened archive(BuildZip(layout).bytes);
  ASSERT_EQ(archive.status, ZipStatus::kOk);
  std::vector<uint8_t> out;
  EXPECT_EQ(archive.Extract(0, &out), ZipStatus::kOk);
  EXPECT_EQ(out, layout.members[0].content);
}

TEST(ZipReader, EncryptedMemberNeedsItsPassword) {
  ZipArchiveLayout layout;
  layout.members = {{.name = "secret.exe", .content = Pattern(4000, 4), .password = "secret"}};
  Opened archive(BuildZip(layout).bytes);
  ASSERT_EQ(archive.status, ZipStatus::kOk);
  std::vector<uint8_t> out;
  EXPECT_EQ(archive.Extract(0, &out, ""), ZipStatus::kBadPassword) << "empty password";
  EXPECT_EQ(archive.Extract(0, &out, "wrong"), ZipStatus::kBadPassword);
  EXPECT_EQ(archive.Extract(0, &out, "secret"), ZipStatus::kOk);
  EXPECT_EQ(out, layout.members[0].content);

  ExtractRequest declined;
  declined.password = [](std::string_view) { return std::nullopt; };
  EXPECT_EQ(ExtractToVector(archive.source, *archive.directory, 0, declined, &out),
            ZipStatus::kBadPassword);
}

// Counts what it is given, to show how much a bomb got out.
class CountingSink final : public OutputSink {
 public:
  bool Write(std::span<const uint8_t> bytes) override {
    total += bytes.size();
    return true;
  }
  uint64_t total = 0;
};

TEST(ZipReader, StopsAStreamThatInflatesBeyondItsDeclaredSize) {
  ZipArchiveLayout layout;
  layout.members = {{.name = "bomb", .content = ZipBytes(50u << 20, 0), .declared_size = 1000}};
  Opened archive(BuildZip(layout).bytes);
  ASSERT_EQ(archive.status, ZipStatus::kOk);
  CountingSink sink;
  EXPECT_EQ(ExtractMember(archive.source, *archive.directory, 0, {}, sink),
            ZipStatus::kSizeMismatch);
  EXPECT_LE(sink.total, 1000u);
}

TEST(ZipReader, RefusesDeclaredSizesAboveTheCapAndBeyondTheCallsBudget) {
  ZipArchiveLayout layout;
  layout.members = {{.name = "a", .content = Pattern(5000, 1)},
                    {.name = "b", .content = Pattern(5000, 2)}};
  Opened archive(BuildZip(layout).bytes);
  ASSERT_EQ(archive.status, ZipStatus::kOk);
  std::vector<uint8_t> out;
  EXPECT_EQ(archive.Extract(0, &out, "", 4999), ZipStatus::kDeclaredSizeTooLarge);
  EXPECT_EQ(archive.Extract(0, &out, "", 5000), ZipStatus::kOk);

  uint64_t budget = 8000;
  ExtractRequest request;
  request.inflate_budget = &budget;
  EXPECT_EQ(ExtractToVector(archive.source, *archive.directory, 0, request, &out), ZipStatus::kOk);
  EXPECT_EQ(ExtractToVector(archive.source, *archive.directory, 1, request, &out),
            ZipStatus::kInflateLimit);
  EXPECT_TRUE(out.empty());

  // A member refused before inflating takes nothing from the budget.
  ZipArchiveLayout with_damaged = layout;
  with_damaged.members.insert(
      with_damaged.members.begin(),
      {.name = "damaged", .content = Pattern(5000, 3), .declared_offset = 1u << 30});
  Opened damaged(BuildZip(with_damaged).bytes);
  ASSERT_EQ(damaged.status, ZipStatus::kOk);
  budget = 10000;
  EXPECT_EQ(ExtractToVector(damaged.source, *damaged.directory, 0, request, &out),
            ZipStatus::kDamagedMember);
  EXPECT_EQ(ExtractToVector(damaged.source, *damaged.directory, 1, request, &out), ZipStatus::kOk);
  EXPECT_EQ(ExtractToVector(damaged.source, *damaged.directory, 2, request, &out), ZipStatus::kOk);
}

TEST(ZipReader, OverlappingMembersNeverShareBytes) {
  // Two directory entries for one local header: the second is refused.
  ZipArchiveLayout twins = ThreeMembers();
  twins.members.push_back(twins.members[1]);
  test::ZipArchive built = BuildZip(twins);
  twins.members[3].declared_offset = built.local_offsets[1];
  Opened shared(BuildZip(twins).bytes);
  ASSERT_EQ(shared.status, ZipStatus::kOk);
  std::vector<uint8_t> out;
  EXPECT_EQ(shared.Extract(1, &out), ZipStatus::kOk);
  EXPECT_EQ(shared.Extract(3, &out), ZipStatus::kDamagedMember);

  // A member whose data would run over the next local header is refused;
  // the next member still reads.
  ZipArchiveLayout overlap = ThreeMembers();
  overlap.members[0].declared_compressed_size = 5000 + 100;
  Opened over(BuildZip(overlap).bytes);
  ASSERT_EQ(over.status, ZipStatus::kOk);
  EXPECT_EQ(over.Extract(0, &out), ZipStatus::kDamagedMember);
  EXPECT_EQ(over.Extract(1, &out), ZipStatus::kOk);

  // An entry pointing into another member's bytes cuts that member short:
  // both fail, since they cannot both own those bytes; the rest read.
  ZipArchiveLayout inside = ThreeMembers();
  inside.members.push_back({.name = "inside", .content = {}, .declared_offset = 7});
  Opened cut(BuildZip(inside).bytes);
  ASSERT_EQ(cut.status, ZipStatus::kOk);
  EXPECT_EQ(cut.Extract(0, &out), ZipStatus::kDamagedMember);
  EXPECT_EQ(cut.Extract(3, &out), ZipStatus::kDamagedMember);
  EXPECT_EQ(cut.Extract(1, &out), ZipStatus::kOk);
  EXPECT_EQ(cut.Extract(2, &out), ZipStatus::kOk);
}

TEST(ZipReader, ManyMembersPointingAtOneHeaderCostOneInflation) {
  ZipArchiveLayout layout;
  layout.members = {{.name = "big", .content = ZipBytes(64u << 10, 'x')}};
  for (int i = 0; i < 200; ++i) {
    layout.members.push_back({.name = "copy" + std::to_string(i),
                              .content = layout.members[0].content,
                              .declared_offset = 0});
  }
  Opened archive(BuildZip(layout).bytes);
  ASSERT_EQ(archive.status, ZipStatus::kOk);
  size_t extracted = 0;
  std::vector<uint8_t> out;
  for (size_t i = 0; i < archive.directory->size(); ++i) {
    if (archive.Extract(i, &out) == ZipStatus::kOk) ++extracted;
  }
  EXPECT_EQ(extracted, 1u);
}

}  // namespace
}  // namespace kv::zip
