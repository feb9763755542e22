// Archive members as the walk reports them: which members are examined in
// each mode, how they are fingerprinted and named, nested archives, and the
// bounds that crafted archives meet. Archives are written by the test ZIP
// writer; the engine reads them through the built unzip library.
#include "scan/archive_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <thread>

#include "common/crc32.h"
#include "common/pest_information.h"
#include "platform/paths.h"
#include "platform/processes.h"
#include "platform/scratch_folder.h"
#include "support/engine_fixture.h"
#include "support/native_path.h"
#include "support/scan_recorder.h"
#include "support/signature_file.h"
#include "unzip32/zip_writer.h"

namespace kv {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::NativePath;
using test::ScanRecorder;
using test::ScanReport;
using test::ZipArchiveLayout;
using test::ZipMemberLayout;

constexpr uint32_t kEicarId = 301;
constexpr uint32_t kSmallId = 302;
constexpr uint32_t kZipPestId = 303;
constexpr char kEicar[] = "X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*";

int32_t KV_CDECL ReleaseRecord(_PEST_INFORMATION* info) {
  DeletePestInformation(info);
  return 1;
}

Bytes Pattern(size_t size, uint8_t seed) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed * 31 + i * 7 + (i >> 9));
  return bytes;
}

uint32_t HeadCrc(const Bytes& bytes) {
  return Crc32(bytes.data(), std::min<size_t>(bytes.size(), 2047));
}

Bytes Zip(std::vector<ZipMemberLayout> members) {
  ZipArchiveLayout layout;
  layout.members = std::move(members);
  return test::BuildZip(layout).bytes;
}

// `content` at the bottom of `depth` archives, each the only member of the
// next: depth 1 is a plain archive holding it.
Bytes Chain(int depth, const Bytes& content) {
  Bytes bytes = Zip({{.name = "x.exe", .content = content}});
  for (int level = 2; level <= depth; ++level) {
    bytes = Zip({{.name = "level" + std::to_string(level) + ".zip", .content = bytes}});
  }
  return bytes;
}

// The scratch folders this process has left in the temporary folder.
std::vector<std::string> OwnScratchFolders() {
  const std::string prefix = std::string(platform::kScratchFolderPrefix) +
                             std::to_string(platform::CurrentProcessId()) + "-";
  std::vector<std::string> found;
  for (const fs::directory_entry& entry : fs::directory_iterator(platform::TemporaryFolder())) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(prefix, 0) == 0) found.push_back(name);
  }
  return found;
}

class ArchiveScan : public testing::Test {
 public:
  void SetUp() override {
    trojan_ = test::ReadFileBytes(fixture_.trojan_path());
    small_ = Pattern(1500, 5);
    eicar_.assign(kEicar, kEicar + sizeof kEicar - 1);
    zip_pest_ = Zip({{.name = "payload.bin", .content = Pattern(3500, 9), .method = 0}});
    std::vector<test::SignatureRecord> records = {
        {kEicarId, HeadCrc(eicar_), static_cast<uint32_t>(eicar_.size()), "EICAR-Test-File"},
        {kSmallId, HeadCrc(small_), 1500, "Small.Pest"},
        {test::kTrojanId, fixture_.trojan_crc(), test::EngineFixture::kTrojanSize,
         test::kTrojanName},
        {test::kComplementedId, ~fixture_.complemented_crc(),
         test::EngineFixture::kComplementedSize, test::kComplementedName},
        {kZipPestId, HeadCrc(zip_pest_), static_cast<uint32_t>(zip_pest_.size()), "Zip.Pest"}};
    std::sort(records.begin(), records.end(),
              [](const auto& a, const auto& b) { return a.file_size < b.file_size; });
    test::WriteFileBytes(fixture_.data().File("KVFILE.DAT"), test::SignatureFile(records));
    ASSERT_EQ(fixture_.engine().Initialize(), Status::kOk);
    ASSERT_TRUE(fixture_.engine().unzip().ready) << "the unzip library beside the tests";
  }

  std::string Put(const std::string& relative, const Bytes& bytes) {
    const fs::path path = tree_.path() / NativePath(relative);
    fs::create_directories(path.parent_path());
    test::WriteFileBytes(path, bytes);
    return path.string();
  }

  // Walks `relative` (the whole tree when empty) with a fresh recorder.
  int32_t Walk(const std::string& relative = "") {
    recorder_ = std::make_unique<ScanRecorder>(&ReleaseRecord);
    const std::string path =
        relative.empty() ? tree_.path().string() : (tree_.path() / NativePath(relative)).string();
    return fixture_.engine().ScanFileOrDirectory(
        path.c_str(), ScanTarget{&ScanRecorder::Callback, nullptr, recorder_->user_value()});
  }

  // Each report as "name-below-the-tree:detected", in order, with '/' for
  // the walk's own separators.
  std::vector<std::string> Seen() const {
    std::vector<std::string> seen;
    const std::string root = tree_.path().string();
    for (const ScanReport& report : recorder_->reports()) {
      std::string path =
          report.path.rfind(root, 0) == 0 ? report.path.substr(root.size() + 1) : report.path;
      seen.push_back(path + ":" + std::to_string(report.detected));
    }
    return seen;
  }

  test::EngineFixture fixture_;
  test::TempFolder tree_;
  std::unique_ptr<ScanRecorder> recorder_;
  Bytes trojan_, small_, eicar_, zip_pest_;
};

// A pest, a file of no signature's size and a masked picture: mode 0 (and
// any mode but 1) extracts only members of a signature's size; mode 1 all
// but the masked one. The archive itself comes last, undetected.
TEST_F(ArchiveScan, ModesChooseTheMembersToExamine) {
  Put("a.zip", Zip({{.name = "a.exe", .content = trojan_},
                    {.name = "b.txt", .content = Pattern(777, 1)},
                    {.name = "c.gif", .content = trojan_}}));
  const struct {
    int32_t mode;
    std::vector<std::string> seen;
  } cases[] = {
      {0, {"a.zip|a.exe:1", "a.zip:0"}},
      {5, {"a.zip|a.exe:1", "a.zip:0"}},
      {1, {"a.zip|a.exe:1", "a.zip|b.txt:0", "a.zip:0"}},
  };
  for (const auto& c : cases) {
    fixture_.engine().SetScanMode(c.mode);
    EXPECT_EQ(Walk(), static_cast<int32_t>(c.seen.size())) << c.mode;
    EXPECT_EQ(Seen(), c.seen) << c.mode;
  }
}

// Members are fingerprinted as files on disk are: a pest shorter than the
// 2047-byte head (the 68-byte test file included) is found inside an
// archive too, with its record named after the member.
TEST_F(ArchiveScan, ShortMembersAreFingerprintedWhole) {
  Put("short.zip", Zip({{.name = "eicar.com", .content = eicar_},
                        {.name = "dir/small.exe", .content = small_, .method = 0}}));
  EXPECT_EQ(Walk(), 3);
  EXPECT_EQ(Seen(), (std::vector<std::string>{"short.zip|eicar.com:1", "short.zip|dir/small.exe:1",
                                              "short.zip:0"}));
  const ScanReport eicar = recorder_->reports()[0];
  EXPECT_EQ(eicar.pest_id, kEicarId);
  EXPECT_EQ(eicar.file_name, eicar.path);
  EXPECT_EQ(eicar.size_match, 1);
}

// Archives inside archives, found by name or by content, depth first; the
// copies written for them are gone once the walk returns.
TEST_F(ArchiveScan, NestedArchivesAreScannedDepthFirst) {
  const Bytes inner = Zip({{.name = "x.exe", .content = trojan_}});
  Put("outer.zip", Zip({{.name = "inner.zip", .content = inner},
                        {.name = "renamed.dat", .content = inner},
                        {.name = "data.zip.bak", .content = Pattern(300, 4)},
                        {.name = "after.exe", .content = trojan_}}));
  fixture_.engine().SetScanMode(1);  // so that renamed.dat is extracted
  EXPECT_EQ(Walk(), 7);
  EXPECT_EQ(Seen(), (std::vector<std::string>{
                        "outer.zip|inner.zip:0", "outer.zip|inner.zip|x.exe:1",
                        "outer.zip|renamed.dat:0", "outer.zip|renamed.dat|x.exe:1",
                        "outer.zip|data.zip.bak:0", "outer.zip|after.exe:1", "outer.zip:0"}));
  EXPECT_TRUE(OwnScratchFolders().empty());
}

// Nesting stops at 16 archives: the 16th is opened, the 17th reported as a
// member only. A chain of 40 ends there too.
TEST_F(ArchiveScan, NestingIsBoundedAtSixteenArchives) {
  fixture_.engine().SetScanMode(1);
  const struct {
    int depth;
    bool pest_found;
  } cases[] = {{16, true}, {17, false}, {40, false}};
  for (const auto& c : cases) {
    fs::remove_all(tree_.path() / "chain.zip");
    Put("chain.zip", Chain(c.depth, trojan_));
    const int32_t count = Walk();
    const std::vector<ScanReport> reports = recorder_->reports();
    const bool found = std::any_of(reports.begin(), reports.end(),
                                   [](const ScanReport& r) { return r.detected == 1; });
    EXPECT_EQ(found, c.pest_found) << c.depth;
    // Every archive opened reports its one member; the walk the chain itself.
    EXPECT_EQ(count, std::min(c.depth, 16) + 1) << c.depth;
  }
  EXPECT_TRUE(OwnScratchFolders().empty());
}

// Names that would climb out of a folder, repeat an earlier member's name,
// or overflow a report are all examined and reported under their own name
// (the climbing archive, of no signature's size, only through its member).
TEST_F(ArchiveScan, HostileMemberNamesAreExaminedWhereTheyLie) {
  const std::string long_name = std::string(5000, 'n') + ".exe";
  const Bytes inner = Zip({{.name = "x.exe", .content = trojan_}});
  Put("names.zip", Zip({{.name = "../../escape.zip", .content = inner},
                        {.name = "a.exe", .content = Pattern(3000, 7)},
                        {.name = "A.EXE", .content = trojan_},
                        {.name = long_name, .content = trojan_}}));
  EXPECT_EQ(Walk(), 5);
  const std::vector<std::string> seen = Seen();
  ASSERT_EQ(seen.size(), 5u);
  EXPECT_EQ(seen[0], "names.zip|../../escape.zip|x.exe:1");
  EXPECT_EQ(seen[1], "names.zip|a.exe:0");
  EXPECT_EQ(seen[2], "names.zip|A.EXE:1");
  const ScanReport cut = recorder_->reports()[3];
  EXPECT_EQ(cut.path.size(), kMaxReportedPathLength);
  EXPECT_NE(cut.path.find(kCutMarker), std::string::npos);
  EXPECT_TRUE(cut.path.ends_with("nnnn.exe"));
  EXPECT_EQ(cut.detected, 1);
  EXPECT_EQ(seen[4], "names.zip:0");
  EXPECT_FALSE(fs::exists(tree_.path().parent_path() / "escape.zip"));
  EXPECT_FALSE(fs::exists(fs::path(platform::TemporaryFolder()).parent_path() / "escape.zip"));
}

// The archive file is identified like any file; excluded, it is not even
// opened; damaged, it is reported alone; a 0 for a member ends its
// archive's members but not the archive's own report.
TEST_F(ArchiveScan, TheArchiveItselfIsReportedAfterItsMembers) {
  Put("pest.zip", zip_pest_);
  Put("QUARANTINE\\held.zip", Zip({{.name = "x.exe", .content = trojan_}}));
  Bytes damaged = Zip({{.name = "x.exe", .content = trojan_}});
  damaged.resize(damaged.size() - 10);
  Put("damaged.zip", damaged);
  EXPECT_EQ(Walk("pest.zip"), 1);
  EXPECT_EQ(Seen(), std::vector<std::string>{"pest.zip:1"});
  EXPECT_EQ(recorder_->reports()[0].pest_id, kZipPestId);
  EXPECT_EQ(Walk(NativePath("QUARANTINE\\held.zip")), 1);
  EXPECT_EQ(Seen(), std::vector<std::string>{NativePath("QUARANTINE\\held.zip") + ":0"});
  EXPECT_EQ(Walk("damaged.zip"), 1);
  EXPECT_EQ(Seen(), std::vector<std::string>{"damaged.zip:0"});

  Put("stop.zip",
      Zip({{.name = "1.exe", .content = trojan_}, {.name = "2.exe", .content = trojan_}}));
  recorder_ = std::make_unique<ScanRecorder>(&ReleaseRecord);
  recorder_->set_answer(
      [](const ScanReport& report) { return report.path.find('|') != std::string::npos ? 0 : 1; });
  const std::string path = (tree_.path() / "stop.zip").string();
  EXPECT_EQ(
      fixture_.engine().ScanFileOrDirectory(
          path.c_str(), ScanTarget{&ScanRecorder::Callback, nullptr, recorder_->user_value()}),
      2);
  EXPECT_EQ(Seen(), (std::vector<std::string>{"stop.zip|1.exe:1", "stop.zip:0"}));
}

// The watcher's reload frees the table a member was matched against: the
// record handed over must have been copied before.
TEST_F(ArchiveScan, ReloadsRacingWalksThroughArchivesNeverLoseARecord) {
  std::vector<ZipMemberLayout> members;
  for (int i = 0; i < 10; ++i)
    members.push_back({.name = std::to_string(i) + ".exe", .content = trojan_});
  Put("many.zip", Zip(std::move(members)));
  std::atomic<bool> done{false};
  std::thread reloader([&] {
    while (!done) fixture_.engine().database().Reload();
  });
  for (int round = 0; round < 20; ++round) {
    ASSERT_EQ(Walk(), 11);
    for (const ScanReport& report : recorder_->reports()) {
      if (report.path.find('|') != std::string::npos) {
        EXPECT_EQ(report.pest_name, test::kTrojanName) << report.path;
      }
    }
  }
  done = true;
  reloader.join();
}

// A scanner of its own with tight bounds and, where asked, only the
// classic by-name interface of the library.
class BoundedArchiveScan : public ArchiveScan {
 public:
  struct Control final : ScanControl {
    void WaitWhilePaused() override {}
    bool StopRequested() const override { return false; }
    int32_t ScanMode() const override { return 1; }
    uint32_t MaxScanFileSize() const override { return 0x7FFFFFFF; }
  };

  int32_t ScanWith(const UnzipLibrary& unzip, const ArchiveLimits& limits,
                   const std::string& archive, ScanRecorder& recorder) {
    Engine& engine = fixture_.engine();
    const ScanServices services{
        engine.database(), engine.exclusions(), engine.file_masks(), control_, unzip, limits};
    const ScanTarget target{&ScanRecorder::Callback, nullptr, recorder.user_value()};
    ArchiveScanner scanner(services, target);
    return scanner.Scan(archive.c_str(), "top");
  }

  Control control_;
};

// A wide fan-out (every archive holding ten archives) is cut off by the
// member budget, a bomb of large members by the byte budget: past them
// members are reported undetected, and nothing more is opened.
TEST_F(BoundedArchiveScan, BudgetsStopArchivesThatFanOut) {
  Bytes level = Zip({{.name = "x.exe", .content = trojan_}});
  for (int depth = 0; depth < 4; ++depth) {
    std::vector<ZipMemberLayout> copies;
    for (int i = 0; i < 10; ++i)
      copies.push_back({.name = std::to_string(i) + ".zip", .content = level});
    level = Zip(std::move(copies));
  }
  const std::string wide = Put("wide.zip", level);  // 10,000 pests 5 levels down
  ArchiveLimits limits;
  limits.max_members = 100;
  ScanRecorder recorder(&ReleaseRecord);
  const int32_t count = ScanWith(fixture_.engine().unzip(), limits, wide, recorder);
  EXPECT_GT(count, 0);
  EXPECT_LE(count, 200);

  std::vector<ZipMemberLayout> large;
  for (int i = 0; i < 8; ++i)
    large.push_back({.name = std::to_string(i) + ".exe", .content = Bytes(1 << 20, 0)});
  large.push_back({.name = "last.exe", .content = trojan_});
  const std::string bomb = Put("bomb.zip", Zip(std::move(large)));
  limits = ArchiveLimits{};
  limits.max_extracted_bytes = 3 << 20;
  ScanRecorder bomb_recorder(&ReleaseRecord);
  EXPECT_EQ(ScanWith(fixture_.engine().unzip(), limits, bomb, bomb_recorder), 9);
  EXPECT_EQ(bomb_recorder.reports().back().detected, 0) << "past the budget: not extracted";
}

// Without the indexed operations the library is driven by name, each walk
// listing into its own list: two at once keep their members apart.
TEST_F(BoundedArchiveScan, ClassicListingsSideBySideKeepTheirMembers) {
  UnzipLibrary classic = fixture_.engine().unzip();
  classic.list_indexed = nullptr;
  classic.unzip_to_memory_by_index = nullptr;
  std::vector<ZipMemberLayout> first, second;
  for (int i = 0; i < 200; ++i) {
    first.push_back({.name = "first" + std::to_string(i) + ".exe", .content = trojan_});
    second.push_back({.name = "second" + std::to_string(i) + ".txt", .content = Pattern(100, 3)});
  }
  const std::string a = Put("first.zip", Zip(std::move(first)));
  const std::string b = Put("second.zip", Zip(std::move(second)));
  ScanRecorder recorder_a(&ReleaseRecord), recorder_b(&ReleaseRecord);
  int32_t count_a = 0, count_b = 0;
  std::thread other([&] { count_b = ScanWith(classic, ArchiveLimits{}, b, recorder_b); });
  count_a = ScanWith(classic, ArchiveLimits{}, a, recorder_a);
  other.join();
  EXPECT_EQ(count_a, 200);
  EXPECT_EQ(count_b, 200);
  for (const ScanReport& report : recorder_a.reports()) {
    EXPECT_EQ(report.detected, 1) << report.path;
    EXPECT_NE(report.path.find("|first"), std::string::npos) << report.path;
  }
  for (const ScanReport& report : recorder_b.reports()) {
    EXPECT_NE(report.path.find("|second"), std::string::npos) << report.path;
  }
}

// Scratch folders of processes that no longer run are removed by the next
// engine to start; those of running processes are left alone.
TEST(ScratchFolders, AbandonedOnesAreRemovedAtStart) {
  // A folder of the test's own: every engine's first start cleans the real
  // temporary folder, and other tests run beside this one.
  const test::TempFolder folder;
  const fs::path temporary = folder.path();
  const fs::path abandoned =
      temporary / (std::string(platform::kScratchFolderPrefix) + "2147483000-0");
  const fs::path ours = temporary / (std::string(platform::kScratchFolderPrefix) +
                                     std::to_string(platform::CurrentProcessId()) + "-999");
  fs::create_directories(abandoned / "deeper");
  test::WriteFileBytes(abandoned / "deeper" / "0.zip", {1, 2});
  fs::create_directories(ours);
  EXPECT_EQ(platform::RemoveAbandonedScratchFolders(temporary.string()), 1);
  EXPECT_FALSE(fs::exists(abandoned));
  EXPECT_TRUE(fs::exists(ours));
}

// Without the unzip library an archive is still reported, once.
TEST(ArchiveScanWithoutLibrary, ReportsTheArchiveAlone) {
  test::EngineFixture fixture;
  EngineOptions options;
  options.unzip_library = "no-such-unzip-library";
  options.exclusions.file_path = [&fixture] { return fixture.data().File("excluded.dat"); };
  options.exclusions.show_message = [](const char*) {};
  Engine engine(std::move(options));
  ASSERT_EQ(engine.Initialize(), Status::kOk);
  EXPECT_FALSE(engine.unzip().ready);
  test::TempFolder tree;
  test::WriteFileBytes(
      tree.path() / "a.zip",
      Zip({{.name = "x.exe", .content = test::ReadFileBytes(fixture.trojan_path())}}));
  ScanRecorder recorder(&ReleaseRecord);
  const std::string path = tree.path().string();
  EXPECT_EQ(engine.ScanFileOrDirectory(
                path.c_str(), ScanTarget{&ScanRecorder::Callback, nullptr, recorder.user_value()}),
            1);
}

}  // namespace
}  // namespace kv
