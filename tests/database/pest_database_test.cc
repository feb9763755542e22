// The database object: loading and its statistics lines, the size cursor,
// failed loads, reloads (direct, by the watcher, racing lookups) and
// shutdown. Each test builds its own database with its own intervals.
#include "database/pest_database.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/pest_information.h"
#include "support/signature_file.h"

namespace kv {
namespace {

using test::SignatureRecord;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kHour = 60 * 60 * 1000;

class DatabaseTest : public testing::Test {
 protected:
  // Writes KVFILE.DAT; returns its size.
  size_t Write(const std::vector<SignatureRecord>& records) {
    const test::Bytes file = test::SignatureFile(records);
    test::WriteFileBytes(path_, file);
    return file.size();
  }

  test::TempFolder folder_;
  const std::string path_ = folder_.File("KVFILE.DAT");
};

// Waits up to five seconds for `condition`.
template <typename Condition>
bool Eventually(Condition condition) {
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  while (Clock::now() < deadline) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return condition();
}

// Standard output captured for the lifetime of the object (the statistics
// lines of each load go there).
class StdoutCapture {
 public:
  StdoutCapture() { testing::internal::CaptureStdout(); }
  ~StdoutCapture() { Take(); }
  std::string Take() {
    if (taken_) return "";
    taken_ = true;
    return testing::internal::GetCapturedStdout();
  }

 private:
  bool taken_ = false;
};

// Loads with the statistics lines kept out of the test's output.
Status LoadQuietly(PestDatabase& database, const std::string& path) {
  StdoutCapture output;
  return database.LoadSignatures(path.c_str());
}

uint32_t IdOf(const _PEST_SIGNATURE* signature) {
  return signature == nullptr ? 0 : signature->dwPestID;
}

TEST_F(DatabaseTest, LoadPrintsTheStatisticsLinesWithCollisionsAccumulated) {
  // Seven slots for three records; PVTs 3, 10 and 17 share home slot 3.
  Write({{.pest_id = 1, .pvt = 3, .file_size = 1, .name = "A"},
         {.pest_id = 2, .pvt = 10, .file_size = 2, .name = "B"},
         {.pest_id = 3, .pvt = 17, .file_size = 3, .name = "C"}});
  PestDatabase database(kHour, kHour);
  StdoutCapture output;
  ASSERT_EQ(database.LoadSignatures(path_.c_str()), Status::kOk);
  ASSERT_EQ(database.LoadSignatures(path_.c_str()), Status::kOk);
  EXPECT_EQ(database.LoadSignatures(folder_.File("missing").c_str()), Status::kCannotOpen);
  EXPECT_EQ(output.Take(),
            "\n pvt collisions: 2\n filesize collisions: 0"
            "\n pvt collisions: 4\n filesize collisions: 0");
  EXPECT_EQ(database.PvtCollisions(), 4);
  EXPECT_EQ(database.PvtSlotCount(), 7u);
  EXPECT_EQ(database.SignatureCount(), 3);
  EXPECT_EQ(database.MaxFileSize(), 3u);
  EXPECT_EQ(database.DatFilePath(), path_);
  EXPECT_TRUE(database.watcher_running());
}

TEST_F(DatabaseTest, StartsEmptyWithoutWatcher) {
  PestDatabase database(kHour, kHour);
  EXPECT_EQ(database.SignatureCount(), 0);
  EXPECT_EQ(database.LoadedFileSize(), -1);
  EXPECT_EQ(database.DatFilePath(), "");
  EXPECT_EQ(database.PvtSlotCount(), 0u);
  EXPECT_FALSE(database.watcher_running());
  EXPECT_EQ(database.Read().FindPest(5, 0, 0, 0), nullptr);
  EXPECT_EQ(database.Read().FirstWithSize(0), nullptr);
  EXPECT_TRUE(database.WaitUsable());
}

struct CursorCase {
  const char* name;
  std::vector<uint32_t> sizes;  // of pests 1, 2, ... in file order
  uint32_t size;
  std::vector<uint32_t> expected_ids;
};
void PrintTo(const CursorCase& c, std::ostream* os) { *os << c.name; }

class SizeCursor : public DatabaseTest, public testing::WithParamInterface<CursorCase> {};

TEST_P(SizeCursor, ListsEveryRecordOfTheSizeThenNull) {
  std::vector<SignatureRecord> records;
  for (uint32_t size : GetParam().sizes) {
    const auto id = static_cast<uint32_t>(records.size() + 1);
    records.push_back({.pest_id = id, .pvt = 0x100 + id, .file_size = size, .name = "p"});
  }
  // A payload is never empty: the table of no records declares 0 of one.
  if (records.empty()) {
    test::WriteFileBytes(path_, test::SignatureFile({{.pest_id = 9, .name = "p"}}, 0));
  } else {
    Write(records);
  }
  PestDatabase database(kHour, kHour);
  ASSERT_EQ(LoadQuietly(database, path_), Status::kOk);
  ASSERT_EQ(database.SignatureCount(), static_cast<int32_t>(records.size()));

  PestDatabase::Reader reader = database.Read();
  std::vector<uint32_t> ids;
  for (const _PEST_SIGNATURE* s = reader.FirstWithSize(GetParam().size); s != nullptr;
       s = reader.NextWithSize()) {
    ids.push_back(s->dwPestID);
  }
  EXPECT_EQ(ids, GetParam().expected_ids);
  EXPECT_EQ(reader.NextWithSize(), nullptr);  // stays at null
}

INSTANTIATE_TEST_SUITE_P(
    Runs, SizeCursor,
    testing::Values(CursorCase{"RunAtStart", {5, 5, 5, 7, 9}, 5, {1, 2, 3}},
                    CursorCase{"RunInMiddle", {1, 2, 4, 4, 4, 4, 8, 9}, 4, {3, 4, 5, 6}},
                    CursorCase{"RunAtEnd", {1, 2, 3, 9, 9}, 9, {4, 5}},
                    CursorCase{"SingleInMiddle", {1, 2, 3, 4, 5, 6, 7}, 5, {5}},
                    CursorCase{"Absent", {1, 2, 4, 8}, 3, {}},
                    CursorCase{"BelowSmallest", {10, 20, 30}, 5, {}},
                    CursorCase{"AboveLargest", {10, 20, 30}, 31, {}},
                    CursorCase{"NoRecords", {}, 0, {}},
                    CursorCase{"OneRecordMatching", {12}, 12, {1}},
                    CursorCase{"OneRecordOtherSize", {12}, 13, {}}),
    [](const testing::TestParamInfo<CursorCase>& info) { return info.param.name; });

TEST_F(DatabaseTest, NextWithSizeBeforeAnyFirstWithSizeIsNull) {
  // Records of size 0 sit where a cursor that started at the table's first
  // record for size 0 would find them.
  Write({{.pest_id = 1, .pvt = 0x101, .file_size = 0, .name = "a"},
         {.pest_id = 2, .pvt = 0x102, .file_size = 0, .name = "b"}});
  PestDatabase database(kHour, kHour);
  ASSERT_EQ(LoadQuietly(database, path_), Status::kOk);
  PestDatabase::Reader reader = database.Read();
  EXPECT_EQ(reader.NextWithSize(), nullptr);
  EXPECT_EQ(reader.NextWithSize(), nullptr);
  EXPECT_EQ(IdOf(reader.FirstWithSize(0)), 1u);
  EXPECT_EQ(IdOf(reader.NextWithSize()), 2u);
}

TEST_F(DatabaseTest, EveryReaderWalksTheSizesWithACursorOfItsOwn) {
  Write({{.pest_id = 1, .pvt = 0x101, .file_size = 4, .name = "a"},
         {.pest_id = 2, .pvt = 0x102, .file_size = 4, .name = "b"},
         {.pest_id = 3, .pvt = 0x103, .file_size = 4, .name = "c"},
         {.pest_id = 4, .pvt = 0x104, .file_size = 9, .name = "d"},
         {.pest_id = 5, .pvt = 0x105, .file_size = 9, .name = "e"}});
  PestDatabase database(kHour, kHour);
  ASSERT_EQ(LoadQuietly(database, path_), Status::kOk);

  // Two walks taking turns, as two scans on two threads would.
  PestDatabase::Reader first = database.Read();
  PestDatabase::Reader second = database.Read();
  std::vector<uint32_t> fours = {IdOf(first.FirstWithSize(4))};
  std::vector<uint32_t> nines = {IdOf(second.FirstWithSize(9))};
  for (int turn = 0; turn < 3; ++turn) {
    fours.push_back(IdOf(first.NextWithSize()));
    nines.push_back(IdOf(second.NextWithSize()));
  }
  EXPECT_EQ(fours, std::vector<uint32_t>({1, 2, 3, 0}));
  EXPECT_EQ(nines, std::vector<uint32_t>({4, 5, 0, 0}));
}

TEST_F(DatabaseTest, FailedLoadKeepsTheTableButRemembersTheSize) {
  Write({{.pest_id = 1, .pvt = 0xABCDEF01, .file_size = 10, .name = "Kept"}});
  PestDatabase database(kHour, kHour);
  StdoutCapture output;
  ASSERT_EQ(database.LoadSignatures(path_.c_str()), Status::kOk);

  const std::string damaged = folder_.File("DAMAGED.DAT");
  test::Bytes bytes = test::SignatureFile({{.pest_id = 2, .pvt = 2, .name = "New"}});
  bytes.back() ^= 1;
  test::WriteFileBytes(damaged, bytes);
  EXPECT_EQ(database.LoadSignatures(damaged.c_str()), Status::kCorrupt);
  EXPECT_EQ(output.Take(),
            "\n pvt collisions: 0\n filesize collisions: 0");  // the good load only
  EXPECT_EQ(database.LoadedFileSize(), static_cast<int32_t>(bytes.size()));
  EXPECT_EQ(database.DatFilePath(), path_);
  EXPECT_EQ(IdOf(database.Read().FindPest(0xABCDEF01, 0, 0, 0)), 1u);
}

TEST_F(DatabaseTest, FreeEmptiesTheTable) {
  Write({{.pest_id = 1, .pvt = 77, .file_size = 10, .name = "Gone"}});
  PestDatabase database(kHour, kHour);
  ASSERT_EQ(LoadQuietly(database, path_), Status::kOk);
  database.FreeSignatures();
  EXPECT_EQ(database.SignatureCount(), 0);
  EXPECT_EQ(database.MaxFileSize(), 0u);
  EXPECT_EQ(database.Read().FindPestByName("Gone"), nullptr);
  EXPECT_EQ(database.Read().FirstWithSize(10), nullptr);
  EXPECT_TRUE(database.watcher_running());
}

TEST_F(DatabaseTest, RecordsHandedOutCopyTheSignature) {
  constexpr uint32_t kCrc = 0x0BADF00Du;
  Write({{.pest_id = 4, .pvt = ~kCrc, .file_size = 10, .name = "UPPER.CASE"}});
  PestDatabase database(kHour, kHour);
  ASSERT_EQ(LoadQuietly(database, path_), Status::kOk);

  EXPECT_EQ(IdOf(database.Read().FindPest(kCrc, 0, 0, 0)), 4u);
  EXPECT_EQ(database.NewPestInformationByPVT(kCrc), nullptr);
  _PEST_INFORMATION* by_pvt = database.NewPestInformationByPVT(~kCrc);
  _PEST_INFORMATION* by_name = database.NewPestInformationByName("upper.case");
  for (_PEST_INFORMATION* record : {by_pvt, by_name}) {
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->dwPestID, 4u);
    EXPECT_EQ(record->dwPVT, ~kCrc);
    EXPECT_STREQ(record->lpszPestName, "UPPER.CASE");
    ASSERT_NE(record->lpszFileName, nullptr);
    EXPECT_STREQ(record->lpszFileName, "");
    EXPECT_EQ(record->bSizeMatch, 0);
    DeletePestInformation(record);
  }
  EXPECT_EQ(database.NewPestInformationByName("lower"), nullptr);
}

// Two versions of the file, of different sizes.
const std::vector<SignatureRecord> kOld = {
    {.pest_id = 1, .pvt = 0x01010101, .file_size = 100, .name = "Old.One"}};
const std::vector<SignatureRecord> kNew = {
    {.pest_id = 2, .pvt = 0x02020202, .file_size = 200, .name = "New.Two"},
    {.pest_id = 3, .pvt = 0x03030303, .file_size = 300, .name = "New.Three"}};

TEST_F(DatabaseTest, ReloadReplacesTheTableWithAVerifiedFile) {
  Write(kOld);
  PestDatabase database(kHour, kHour);
  StdoutCapture output;
  ASSERT_EQ(database.LoadSignatures(path_.c_str()), Status::kOk);
  const size_t new_size = Write(kNew);
  database.Reload();
  EXPECT_EQ(output.Take(),
            "\n pvt collisions: 0\n filesize collisions: 0"
            "\n pvt collisions: 0\n filesize collisions: 0");
  EXPECT_EQ(database.Read().FindPest(0x01010101, 0, 0, 0), nullptr);
  EXPECT_EQ(IdOf(database.Read().FindPest(0x03030303, 0, 0, 0)), 3u);
  EXPECT_EQ(database.MaxFileSize(), 300u);
  EXPECT_EQ(database.LoadedFileSize(), static_cast<int32_t>(new_size));
}

struct Replacement {
  const char* name;
  std::function<void(const std::string& path)> replace;
};
void PrintTo(const Replacement& r, std::ostream* os) { *os << r.name; }

class UnsoundReplacement : public DatabaseTest, public testing::WithParamInterface<Replacement> {};

TEST_P(UnsoundReplacement, KeepsTheOldTableAndItsSize) {
  const size_t old_size = Write(kOld);
  PestDatabase database(kHour, kHour);
  ASSERT_EQ(LoadQuietly(database, path_), Status::kOk);
  GetParam().replace(path_);
  StdoutCapture output;
  database.Reload();
  EXPECT_EQ(output.Take(), "");
  EXPECT_EQ(IdOf(database.Read().FindPest(0x01010101, 0, 0, 0)), 1u);
  EXPECT_EQ(database.LoadedFileSize(), static_cast<int32_t>(old_size));
  EXPECT_EQ(database.DatFilePath(), path_);
}

INSTANTIATE_TEST_SUITE_P(
    Files, UnsoundReplacement,
    testing::Values(Replacement{"Corrupt",
                                [](const std::string& path) {
                                  test::Bytes bytes = test::SignatureFile(kNew);
                                  bytes[600] ^= 0x40;
                                  test::WriteFileBytes(path, bytes);
                                }},
                    Replacement{"WrongDate",
                                [](const std::string& path) {
                                  test::ContainerOptions options;
                                  options.date_low += 1;
                                  test::WriteFileBytes(
                                      path, test::MakeDataFile(
                                                test::LiteralBlock(test::SignaturePayload(kNew)),
                                                options));
                                }},
                    Replacement{"Deleted",
                                [](const std::string& path) { std::filesystem::remove(path); }}),
    [](const testing::TestParamInfo<Replacement>& info) { return info.param.name; });

TEST_F(DatabaseTest, WatcherReloadsAFileOfAnotherSize) {
  Write(kOld);
  PestDatabase database(/*check=*/20, /*settle=*/10);
  ASSERT_EQ(LoadQuietly(database, path_), Status::kOk);
  StdoutCapture output;
  Write(kNew);
  const bool reloaded =
      Eventually([&] { return database.Read().FindPest(0x02020202, 0, 0, 0) != nullptr; });
  database.Shutdown();
  output.Take();
  EXPECT_TRUE(reloaded);
  EXPECT_EQ(database.SignatureCount(), 0);  // freed by the shutdown
}

TEST_F(DatabaseTest, WatcherIgnoresAFileOfTheSameSize) {
  const size_t old_size = Write(kOld);
  PestDatabase database(/*check=*/5, /*settle=*/1);
  StdoutCapture output;
  ASSERT_EQ(database.LoadSignatures(path_.c_str()), Status::kOk);
  std::vector<SignatureRecord> same_size = kOld;
  same_size[0].pvt = 0x0F0F0F0F;
  same_size[0].name = "Old.Two";
  ASSERT_EQ(Write(same_size), old_size);
  // Forty checks of the unchanged size: none may start a reload, which would
  // print the statistics again.
  const uint32_t checks_before = database.watcher_checks();
  EXPECT_TRUE(Eventually([&] { return database.watcher_checks() >= checks_before + 40; }));
  database.Shutdown();
  EXPECT_EQ(output.Take(), "\n pvt collisions: 0\n filesize collisions: 0");
}

TEST_F(DatabaseTest, ShutdownWhileTheWatcherSleepsReturnsAtOnce) {
  Write(kOld);
  PestDatabase database(kHour, kHour);
  ASSERT_EQ(LoadQuietly(database, path_), Status::kOk);
  ASSERT_TRUE(database.watcher_running());
  std::this_thread::sleep_for(std::chrono::milliseconds(20));  // let it fall asleep
  const auto start = Clock::now();
  database.Shutdown();
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
  EXPECT_FALSE(database.watcher_running());
  EXPECT_EQ(database.SignatureCount(), 0);
  database.Shutdown();  // a second teardown (the destructor's) does nothing
}

// What a size walk keeps of a candidate once it lets its Reader go.
struct Candidate {
  uint32_t id;
  uint32_t pvt;
  std::string name;
};

// A walk's step as the Reader rule has it: copy the candidates of a size
// under a Reader, let it go, and only then read a file and look up again.
std::vector<Candidate> CandidatesOfSize(PestDatabase& database, uint32_t size) {
  std::vector<Candidate> candidates;
  PestDatabase::Reader reader = database.Read();
  for (const _PEST_SIGNATURE* s = reader.FirstWithSize(size); s != nullptr;
       s = reader.NextWithSize()) {
    candidates.push_back({s->dwPestID, s->dwPVT, s->lpszPestName});
  }
  return candidates;
}

std::vector<uint32_t> IdsOf(const std::vector<Candidate>& candidates) {
  std::vector<uint32_t> ids;
  for (const Candidate& candidate : candidates) ids.push_back(candidate.id);
  return ids;
}

TEST_F(DatabaseTest, ReloadsRacingLookupsAndWalksNeverReadFreedRecords) {
  // Runs of size 200 in both versions, so that walks that shared a cursor
  // would cut each other's runs short.
  std::vector<SignatureRecord> old_run = kOld;
  old_run.push_back({.pest_id = 6, .pvt = 0x06060606, .file_size = 200, .name = "Old.Six"});
  old_run.push_back({.pest_id = 7, .pvt = 0x07070707, .file_size = 200, .name = "Old.Seven"});
  std::vector<SignatureRecord> new_run = kNew;
  new_run.insert(new_run.begin() + 1,
                 {{.pest_id = 4, .pvt = 0x04040404, .file_size = 200, .name = "New.Four"},
                  {.pest_id = 5, .pvt = 0x05050505, .file_size = 200, .name = "New.Five"}});
  Write(old_run);
  const std::string sample = folder_.File("sample.bin");
  test::WriteFileBytes(sample, test::Bytes(200, 0x5A));
  PestDatabase database(kHour, kHour);
  ASSERT_EQ(LoadQuietly(database, path_), Status::kOk);

  StdoutCapture output;
  std::atomic<bool> done{false};
  std::atomic<int> wrong{0};
  std::atomic<int> walks{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 4; ++t) {
    readers.emplace_back([&, t] {
      while (!done) {
        if (t == 0) {  // lookups and reading through what they return
          PestDatabase::Reader reader = database.Read();
          const _PEST_SIGNATURE* one = reader.FindPest(0x01010101, 0, 0, 0);
          const _PEST_SIGNATURE* three = reader.FindPest(0x03030303, 0, 0, 0);
          if ((one == nullptr) == (three == nullptr)) ++wrong;  // exactly one table
          if (one != nullptr && std::string(one->lpszPestName) != "Old.One") ++wrong;
          if (three != nullptr && std::string(three->lpszPestName) != "New.Three") ++wrong;
        } else if (t == 1) {  // copies handed out
          _PEST_INFORMATION* record = database.NewPestInformationByName("new.two");
          if (record != nullptr && std::string(record->lpszPestName) != "New.Two") ++wrong;
          DeletePestInformation(record);
        } else {  // two walks at once, each with its own cursor
          const std::vector<Candidate> candidates = CandidatesOfSize(database, 200);
          const std::vector<uint32_t> ids = IdsOf(candidates);
          if (ids != std::vector<uint32_t>({6, 7}) && ids != std::vector<uint32_t>({2, 4, 5})) {
            ++wrong;
          }
          // No hold now: a file read, then lookups that take one afresh.
          if (test::ReadFileBytes(sample).size() != 200) ++wrong;
          for (const Candidate& candidate : candidates) {
            _PEST_INFORMATION* record = database.NewPestInformationByPVT(candidate.pvt);
            if (record != nullptr && std::string(record->lpszPestName) != candidate.name) {
              ++wrong;
            }
            DeletePestInformation(record);
          }
          ++walks;
        }
      }
    });
  }
  for (int i = 0; i < 60; ++i) {
    Write(i % 2 == 0 ? new_run : old_run);
    database.Reload();
  }
  done = true;
  for (std::thread& reader : readers) reader.join();
  const std::string printed = output.Take();
  size_t loads = 0;
  for (size_t at = printed.find("filesize collisions"); at != std::string::npos;
       at = printed.find("filesize collisions", at + 1)) {
    ++loads;
  }
  EXPECT_EQ(loads, 60u);  // every reload loaded
  EXPECT_EQ(wrong, 0);
  EXPECT_GT(walks, 0);
  EXPECT_EQ(database.SignatureCount(), 3);  // the last reload was of old_run
}

// Ends the test binary when a step that should take moments has not ended
// within a minute: a deadlock fails the run instead of hanging it.
class DeadlockWatchdog {
 public:
  explicit DeadlockWatchdog(const char* step)
      : thread_([this, step] {
          std::unique_lock<std::mutex> lock(mutex_);
          if (!ended_.wait_for(lock, std::chrono::minutes(1), [this] { return done_; })) {
            std::fprintf(stderr, "deadlock: %s did not end\n", step);
            std::_Exit(1);
          }
        }) {}
  ~DeadlockWatchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    ended_.notify_one();
    thread_.join();
  }

 private:
  std::mutex mutex_;
  std::condition_variable ended_;
  bool done_ = false;
  std::thread thread_;
};

TEST_F(DatabaseTest, ReaderOutlivesAWaitingReloadAndNestedLookupsShareIt) {
  Write(kOld);
  PestDatabase database(kHour, kHour);
  ASSERT_EQ(LoadQuietly(database, path_), Status::kOk);
  StdoutCapture output;
  Write(kNew);

  std::thread reload;
  {
    PestDatabase::Reader outer = database.Read();
    const _PEST_SIGNATURE* record = outer.FirstWithSize(100);
    ASSERT_NE(record, nullptr);
    reload = std::thread([&] { database.Reload(); });
    // The reload closes the gate, then waits for `outer`.
    ASSERT_TRUE(Eventually([&] { return database.reloading(); }));
    {
      DeadlockWatchdog watchdog("a lookup nested in a held Reader during a reload");
      PestDatabase::Reader inner = database.Read();  // shares `outer`'s hold
      EXPECT_EQ(IdOf(inner.FindPest(0x01010101, 0, 0, 0)), 1u);
      _PEST_INFORMATION* copy = database.NewPestInformationByName("old.one");
      ASSERT_NE(copy, nullptr);
      EXPECT_EQ(copy->dwPestID, 1u);
      DeletePestInformation(copy);
    }
    EXPECT_TRUE(database.reloading());  // still waiting for `outer`
    EXPECT_STREQ(record->lpszPestName, "Old.One");
  }
  reload.join();
  EXPECT_FALSE(database.reloading());
  EXPECT_EQ(IdOf(database.Read().FindPest(0x03030303, 0, 0, 0)), 3u);
}

#ifndef NDEBUG
using DatabaseDeathTest = DatabaseTest;

TEST_F(DatabaseDeathTest, ReplacingTheTableUnderAReaderOfTheSameThreadStopsDebugBuilds) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  Write(kOld);
  EXPECT_DEATH(
      {
        PestDatabase database(kHour, kHour);
        LoadQuietly(database, path_);
        PestDatabase::Reader reader = database.Read();
        database.LoadSignatures(path_.c_str());  // would wait for `reader`
      },
      "LoadSignatures on a thread that holds a reader");
  EXPECT_DEATH(
      {
        PestDatabase database(kHour, kHour);
        LoadQuietly(database, path_);
        PestDatabase::Reader reader = database.Read();
        database.FreeSignatures();
      },
      "FreeSignatures on a thread that holds a reader");
}
#endif

}  // namespace
}  // namespace kv
