// The directory walk over trees built for each test: what is reported and
// counted, in which order, with which record, and how the walk bounds
// itself on links, pipes, deep trees and racing reloads.
#include "scan/directory_walk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "common/pest_information.h"
#include "support/engine_fixture.h"
#include "support/native_path.h"
#include "support/scan_recorder.h"

#if !defined(_WIN32)
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kv {
namespace {

namespace fs = std::filesystem;
using test::NativePath;
using test::ScanRecorder;
using test::ScanReport;

// prefix, number, suffix: built step by step, which keeps GCC's string
// bounds check from a false alarm in the mingw build.
std::string Numbered(const char* prefix, int number, const char* suffix) {
  std::string name = prefix;
  name += std::to_string(number);
  name += suffix;
  return name;
}

int32_t KV_CDECL ReleaseRecord(_PEST_INFORMATION* info) {
  DeletePestInformation(info);
  return 1;
}

class DirectoryWalk : public testing::Test {
 public:
  void SetUp() override {
    ASSERT_EQ(fixture_.engine().Initialize(), Status::kOk);
    trojan_ = test::ReadFileBytes(fixture_.trojan_path());
    complemented_ = test::ReadFileBytes(fixture_.complemented_path());
  }

  // Writes `bytes` at `relative` ('\' separators) under the tree's root.
  std::string Put(const std::string& relative, const test::Bytes& bytes) {
    const fs::path path = tree_.path() / NativePath(relative);
    fs::create_directories(path.parent_path());
    test::WriteFileBytes(path, bytes);
    return path.string();
  }
  std::string Root() const { return tree_.path().string(); }
  std::string At(const std::string& relative) const {
    return (tree_.path() / NativePath(relative)).string();
  }

  int32_t Walk(const std::string& path, ScanRecorder& recorder) {
    return fixture_.engine().ScanFileOrDirectory(
        path.c_str(), ScanTarget{&ScanRecorder::Callback, nullptr, recorder.user_value()});
  }

  test::EngineFixture fixture_;
  test::TempFolder tree_;
  test::Bytes trojan_;
  test::Bytes complemented_;
  ScanRecorder recorder_{&ReleaseRecord};
};

TEST_F(DirectoryWalk, SingleFilePathIsReportedAloneWithItsRecord) {
  const std::string pest = Put("sub\\pest.exe", trojan_);
  Put("sub\\other.exe", {1, 2, 3});
  EXPECT_EQ(Walk(pest, recorder_), 1);
  const std::vector<ScanReport> reports = recorder_.reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].path, pest);
  EXPECT_EQ(reports[0].detected, 1);
  EXPECT_EQ(reports[0].pest_id, test::kTrojanId);
  EXPECT_EQ(reports[0].pest_name, test::kTrojanName);
  EXPECT_EQ(reports[0].file_name, pest);
  EXPECT_EQ(reports[0].size_match, 1);
  EXPECT_EQ(reports[0].user_value, recorder_.user_value());
}

TEST_F(DirectoryWalk, MissingPathsAndEmptyFoldersReportNothing) {
  fs::create_directories(At("empty"));
  for (const std::string& path : {At("missing"), At("missing\\deeper.exe"), At("empty")}) {
    EXPECT_EQ(Walk(path, recorder_), 0) << path;
  }
  EXPECT_TRUE(recorder_.reports().empty());
}

TEST_F(DirectoryWalk, TrailingSeparatorWalksTheSameFolder) {
  Put("a.exe", {1});
  Put("b\\c.exe", {2});
  ScanRecorder with_separator(&ReleaseRecord);
  EXPECT_EQ(Walk(Root(), recorder_), 2);
  EXPECT_EQ(Walk(test::WithSeparator(Root()), with_separator), 2);
  EXPECT_EQ(recorder_.paths(), with_separator.paths());
  EXPECT_EQ(recorder_.Ending(NativePath("\\b\\c.exe")).size(), 1u);
}

TEST_F(DirectoryWalk, MasksSkipNamesWithoutCountingThem) {
  Put("picture.GIF", trojan_);
  Put("sub\\icon.ico", trojan_);
  Put("keep.exe", trojan_);
  EXPECT_EQ(Walk(Root(), recorder_), 1);
  ASSERT_EQ(recorder_.reports().size(), 1u);
  EXPECT_EQ(recorder_.reports()[0].path, At("keep.exe"));
}

TEST_F(DirectoryWalk, ExcludedAndOversizedFilesAreReportedUndetected) {
  const std::string excluded = Put("QUARANTINE\\pest.exe", trojan_);
  test::Bytes big = trojan_;
  big.resize(fixture_.engine().max_scan_file_size() + 1, 0);
  Put("big.exe", big);
  fixture_.engine().SetScanMode(1);  // would otherwise find it by its head
  EXPECT_EQ(Walk(Root(), recorder_), 2);
  for (const ScanReport& report : recorder_.reports()) {
    EXPECT_EQ(report.detected, 0) << report.path;
    EXPECT_FALSE(report.has_info) << report.path;
  }
  EXPECT_EQ(recorder_.Ending(NativePath("QUARANTINE\\pest.exe")).size(), 1u);
}

TEST_F(DirectoryWalk, ZeroFromTheCallbackEndsOnlyTheFolderItCameFrom) {
  Put("sub\\first.exe", {1});
  Put("sub\\second.exe", {2});
  Put("sub\\third.exe", {3});
  Put("top1.exe", {4});
  Put("top2.exe", {5});
  const std::string sub = NativePath("\\sub\\");
  recorder_.set_answer(
      [&](const ScanReport& report) { return report.path.find(sub) != std::string::npos ? 0 : 1; });
  EXPECT_EQ(Walk(Root(), recorder_), 3);
  std::vector<ScanReport> reports = recorder_.reports();
  EXPECT_EQ(
      std::count_if(reports.begin(), reports.end(),
                    [&](const ScanReport& r) { return r.path.find(sub) != std::string::npos; }),
      1);
  EXPECT_EQ(recorder_.Ending("top1.exe").size() + recorder_.Ending("top2.exe").size(), 2u);
}

// A pest one byte longer than its signature's size keeps the head CRC; a
// signature stored as the complement matches like the CRC itself.
TEST_F(DirectoryWalk, ScanModesPickSignaturesBySizeOrByFingerprint) {
  test::Bytes longer = trojan_;
  longer.push_back(0);
  Put("longer.exe", longer);
  Put("inverted.dll", complemented_);
  struct Case {
    int32_t mode;
    bool longer_detected;
  };
  for (const Case& c : {Case{0, false}, Case{1, true}, Case{5, true}}) {
    fixture_.engine().SetScanMode(c.mode);
    ScanRecorder recorder(&ReleaseRecord);
    EXPECT_EQ(Walk(Root(), recorder), 2);
    const std::vector<ScanReport> longer_reports = recorder.Ending("longer.exe");
    ASSERT_EQ(longer_reports.size(), 1u);
    EXPECT_EQ(longer_reports[0].detected, c.longer_detected ? 1 : 0) << "mode " << c.mode;
    if (c.longer_detected) {
      EXPECT_EQ(longer_reports[0].pest_id, test::kTrojanId);
      EXPECT_EQ(longer_reports[0].size_match, 0) << "no signature has its size";
    }
    const std::vector<ScanReport> inverted = recorder.Ending("inverted.dll");
    ASSERT_EQ(inverted.size(), 1u);
    EXPECT_EQ(inverted[0].pest_id, test::kComplementedId) << "mode " << c.mode;
    EXPECT_EQ(inverted[0].pvt, ~fixture_.complemented_crc());
    EXPECT_EQ(inverted[0].size_match, 1);
  }
}

TEST_F(DirectoryWalk, SubfoldersAreWalkedWhereTheirEntryIsMet) {
  Put("a\\b\\c\\deep.exe", {1});
  Put("a\\b\\mid.exe", {2});
  Put("a\\top.exe", {3});
  EXPECT_EQ(Walk(Root(), recorder_), 3);
  // Depth first: whatever order the system lists in, a folder's files come
  // together, never split by another folder's.
  const std::vector<std::string> paths = recorder_.paths();
  ASSERT_EQ(paths.size(), 3u);
  const auto deep = std::find(paths.begin(), paths.end(), At("a\\b\\c\\deep.exe"));
  const auto mid = std::find(paths.begin(), paths.end(), At("a\\b\\mid.exe"));
  ASSERT_NE(deep, paths.end());
  ASSERT_NE(mid, paths.end());
  EXPECT_EQ(std::abs(deep - mid), 1);
}

TEST_F(DirectoryWalk, PauseHoldsTheWalkUntilResumeAndStopEndsIt) {
  for (int i = 0; i < 5; ++i) Put(Numbered("f", i, ".exe"), {static_cast<uint8_t>(i)});
  Engine& engine = fixture_.engine();
  engine.PauseScan();
  std::atomic<int32_t> count{-2};
  std::thread walker([&] { count = Walk(Root(), recorder_); });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_TRUE(recorder_.reports().empty());
  EXPECT_EQ(count.load(), -2);
  engine.ResumeScan();
  walker.join();
  EXPECT_EQ(count.load(), 5);

  // A stop wakes a paused walk, which returns what it counted so far.
  ScanRecorder stopped(&ReleaseRecord);
  stopped.set_answer([&](const ScanReport&) {
    engine.PauseScan();
    return 1;
  });
  std::thread second([&] { count = Walk(Root(), stopped); });
  while (stopped.reports().empty()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(stopped.reports().size(), 1u) << "held after its first report";
  engine.StopScan();
  second.join();
  EXPECT_EQ(count.load(), 1);
  // Walks started after the stop run to the end.
  ScanRecorder after(&ReleaseRecord);
  EXPECT_EQ(Walk(Root(), after), 5);
}

TEST_F(DirectoryWalk, ZipTestLooksAtTheFirstTwoBytesOfRegularFiles) {
  struct Case {
    const char* name;
    test::Bytes bytes;
    bool zip;
  };
  const Case cases[] = {
      {"archive.zip", {'P', 'K', 3, 4}, true},
      {"renamed.dat", {'P', 'K'}, true},
      {"one.zip", {'P'}, false},
      {"empty.zip", {}, false},
      {"other.zip", {'K', 'P', 3, 4}, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsZipFile(Put(c.name, c.bytes).c_str()), c.zip) << c.name;
  }
  EXPECT_FALSE(IsZipFile(At("missing.zip").c_str()));
  fs::create_directories(At("folder.zip"));
  EXPECT_FALSE(IsZipFile(At("folder.zip").c_str()));
}

TEST_F(DirectoryWalk, CutToFitKeepsBothEndsAroundTheMarker) {
  EXPECT_EQ(CutToFit("short"), "short");
  const std::string exact(kMaxReportedPathLength, 'x');
  EXPECT_EQ(CutToFit(exact), exact);
  const std::string longer = std::string(3000, 'a') + std::string(3000, 'b') + "tail.exe";
  const std::string cut = CutToFit(longer);
  EXPECT_EQ(cut.size(), kMaxReportedPathLength);
  EXPECT_EQ(cut.substr(0, 10), "aaaaaaaaaa");
  EXPECT_EQ(cut.substr(cut.size() - 8), "tail.exe");
  EXPECT_NE(cut.find(kCutMarker), std::string::npos);
}

TEST_F(DirectoryWalk, ScansSideBySideKeepTheirReportsApart) {
  for (int i = 0; i < 30; ++i) Put(Numbered("one\\f", i, ".exe"), trojan_);
  for (int i = 0; i < 30; ++i) Put(Numbered("two\\g", i, ".dll"), complemented_);
  ScanRecorder other(&ReleaseRecord);
  int32_t first = 0;
  std::thread side([&] { first = Walk(At("one"), recorder_); });
  const int32_t second = Walk(At("two"), other);
  side.join();
  EXPECT_EQ(first, 30);
  EXPECT_EQ(second, 30);
  for (const ScanReport& report : recorder_.reports()) EXPECT_EQ(report.pest_id, test::kTrojanId);
  for (const ScanReport& report : other.reports()) EXPECT_EQ(report.pest_id, test::kComplementedId);
}

// Under the sanitizers: a reload replacing the table while walks read it
// must never free a record a walk is copying.
TEST_F(DirectoryWalk, ReloadsRacingWalksNeverLoseARecord) {
  for (int i = 0; i < 10; ++i) Put(Numbered("f", i, ".exe"), trojan_);
  std::atomic<bool> done{false};
  std::thread reloader([&] {
    while (!done) fixture_.engine().database().Reload();
  });
  for (int round = 0; round < 20; ++round) {
    ScanRecorder recorder(&ReleaseRecord);
    ASSERT_EQ(Walk(Root(), recorder), 10);
    for (const ScanReport& report : recorder.reports()) {
      EXPECT_EQ(report.pest_name, test::kTrojanName) << report.path;
    }
  }
  done = true;
  reloader.join();
}

// Exclusion edits while walks run: every walk reloads the list before each
// folder and matches every file against it, as another thread adds and
// removes an entry. Only the file named by the entry may go undetected.
TEST_F(DirectoryWalk, ExclusionEditsDuringAWalkChangeOnlyTheirOwnEntry) {
  for (int i = 0; i < 10; ++i) Put(Numbered("f", i, ".exe"), trojan_);
  const std::string edited = At("f3.exe");
  ExclusionList& exclusions = fixture_.engine().exclusions();
  // A removal names the entry as the list holds it: the short form on
  // Windows.
  ASSERT_EQ(exclusions.Add(edited.c_str()), 1);
  const std::vector<std::string> stored = exclusions.entries();
  ASSERT_EQ(stored.size(), 1u);
  const std::string entry = stored[0];
  ASSERT_EQ(exclusions.Remove(entry.c_str()), 1);
  std::atomic<bool> done{false};
  std::atomic<int> edits{0};
  std::thread editor([&] {
    while (!done) {
      if (exclusions.Add(edited.c_str()) == 1) ++edits;
      if (exclusions.Remove(entry.c_str()) == 1) ++edits;
    }
  });
  // At least 20 walks, and on until the editor has had its turns: walks
  // may be quicker than its first edit.
  for (int round = 0; round < 20 || (edits < 4 && round < 1'000'000); ++round) {
    ScanRecorder recorder(&ReleaseRecord);
    ASSERT_EQ(Walk(Root(), recorder), 10);
    for (const ScanReport& report : recorder.reports()) {
      if (report.path == edited) continue;
      EXPECT_EQ(report.pest_id, test::kTrojanId) << report.path;
    }
  }
  done = true;
  editor.join();
  EXPECT_GT(edits.load(), 0);
  EXPECT_EQ(exclusions.IsExcluded(edited.c_str()), 0);
}

#if !defined(_WIN32)
// Removes `name` below the folder `parent` one step at a time: the whole
// path of a deep tree is too long for the usual calls.
void RemoveTree(int parent, const char* name) {
  const int folder = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
  if (folder >= 0) {
    DIR* listing = ::fdopendir(folder);
    while (const dirent* entry = listing != nullptr ? ::readdir(listing) : nullptr) {
      const std::string child = entry->d_name;
      if (child == "." || child == "..") continue;
      if (entry->d_type == DT_DIR) {
        RemoveTree(folder, child.c_str());
      } else {
        ::unlinkat(folder, child.c_str(), 0);
      }
    }
    if (listing != nullptr) ::closedir(listing);
  }
  ::unlinkat(parent, name, AT_REMOVEDIR);
}

TEST_F(DirectoryWalk, LinksToFoldersAreNotFollowedAndFileLinksReadTheirTarget) {
  const std::string pest = Put("real\\pest.exe", trojan_);
  fs::create_directory_symlink(Root(), At("real\\loop"));
  fs::create_symlink(pest, At("link.exe"));
  fs::create_symlink(At("nowhere"), At("broken.exe"));
  EXPECT_EQ(Walk(Root(), recorder_), 3);
  const std::vector<ScanReport> linked = recorder_.Ending("link.exe");
  ASSERT_EQ(linked.size(), 1u);
  EXPECT_EQ(linked[0].detected, 1);
  ASSERT_EQ(recorder_.Ending("broken.exe").size(), 1u);
  EXPECT_EQ(recorder_.Ending("broken.exe")[0].detected, 0);
}

TEST_F(DirectoryWalk, PipesAreReportedWithoutBeingOpened) {
  ASSERT_EQ(::mkfifo(At("pipe.exe").c_str(), 0600), 0);
  Put("after.exe", trojan_);
  fixture_.engine().SetScanMode(1);
  EXPECT_EQ(Walk(Root(), recorder_), 2);  // an open would block here for ever
  ASSERT_EQ(recorder_.Ending("pipe.exe").size(), 1u);
  EXPECT_EQ(recorder_.Ending("pipe.exe")[0].detected, 0);
  EXPECT_FALSE(IsZipFile(At("pipe.exe").c_str()));
}

// 2,000 nested folders: deeper than a path buffer holds, walked on a thread
// with a 1 MiB stack. The file at the bottom is still read (relative to its
// folder) and reported under a name cut to fit.
TEST_F(DirectoryWalk, DeepTreesFitTheStackAndCutTheNamesTheyReport) {
  constexpr int kDepth = 2000;
  int folder = ::open(Root().c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(folder, 0);
  for (int level = 0; level < kDepth; ++level) {
    ASSERT_EQ(::mkdirat(folder, "dd", 0700), 0) << level;
    const int next = ::openat(folder, "dd", O_RDONLY | O_DIRECTORY);
    ::close(folder);
    ASSERT_GE(next, 0);
    folder = next;
  }
  const int file = ::openat(folder, "bottom.exe", O_WRONLY | O_CREAT, 0600);
  ASSERT_GE(file, 0);
  ASSERT_EQ(::write(file, trojan_.data(), trojan_.size()), static_cast<ssize_t>(trojan_.size()));
  ::close(file);
  ::close(folder);

  struct Run {
    DirectoryWalk* test;
    int32_t count = 0;
  } run{this};
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, 1 << 20);
  pthread_t thread;
  ASSERT_EQ(pthread_create(
                &thread, &attributes,
                [](void* argument) -> void* {
                  auto* run = static_cast<Run*>(argument);
                  run->count = run->test->Walk(run->test->Root(), run->test->recorder_);
                  return nullptr;
                },
                &run),
            0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attributes);

  EXPECT_EQ(run.count, 1);
  const std::vector<ScanReport> reports = recorder_.reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].path.size(), kMaxReportedPathLength);
  EXPECT_NE(reports[0].path.find(kCutMarker), std::string::npos);
  EXPECT_EQ(reports[0].path.substr(reports[0].path.size() - 11), "/bottom.exe");
  EXPECT_EQ(reports[0].path.substr(0, Root().size()), Root());
  EXPECT_EQ(reports[0].detected, 1);
  EXPECT_EQ(reports[0].file_name, reports[0].path);

  RemoveTree(AT_FDCWD, At("dd").c_str());
}
#endif

}  // namespace
}  // namespace kv
