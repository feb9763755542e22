// The database object: loading and its statistics lines, the size cursor,
// failed loads, reloads (direct, by the watcher, racing lookups) and
// shutdown. Each test builds its own database with its own intervals.
#include "database/pest_database.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
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
DatStatus LoadQuietly(PestDatabase& database, const std::string& path) {
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
  ASSERT_EQ(database.LoadSignatures(path_.c_str()), DatStatus::kOk);
  ASSERT_EQ(database.LoadSignatures(path_.c_str()), DatStatus::kOk);
  EXPECT_EQ(database.LoadSignatures(folder_.File("missing").c_str()), DatStatus::kCannotOpen);
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
  EXPECT_EQ(database.FindPest(5, 0, 0, 0), nullptr);
  EXPECT_EQ(database.FirstWithSize(0), nullptr);
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
  ASSERT_EQ(LoadQuietly(database, path_), DatStatus::kOk);
  ASSERT_EQ(database.SignatureCount(), static_cast<int32_t>(records.size()));

  std::vector<uint32_t> ids;
  for (const _PEST_SIGNATURE* s = database.FirstWithSize(GetParam().size); s != nullptr;
       s = database.NextWithSize()) {
    ids.push_back(s->dwPestID);
  }
  EXPECT_EQ(ids, GetParam().expected_ids);
  EXPECT_EQ(database.NextWithSize(), nullptr);  // stays at null
}

INSTANTIATE_TEST_SUITE_P(
    Runs, SizeCursor,
    testing::Values(
        CursorCase{"RunAtStart", {5, 5, 5, 7, 9}, 5, {1, 2, 3}},
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

TEST_F(DatabaseTest, FailedLoadKeepsTheTableButRemembersTheSize) {
  Write({{.pest_id = 1, .pvt = 0xABCDEF01, .file_size = 10, .name = "Kept"}});
  PestDatabase database(kHour, kHour);
  StdoutCapture output;
  ASSERT_EQ(database.LoadSignatures(path_.c_str()), DatStatus::kOk);

  const std::string damaged = folder_.File("DAMAGED.DAT");
  test::Bytes bytes = test::SignatureFile({{.pest_id = 2, .pvt = 2, .name = "New"}});
  bytes.back() ^= 1;
  test::WriteFileBytes(damaged, bytes);
  EXPECT_EQ(database.LoadSignatures(damaged.c_str()), DatStatus::kCorrupt);
  EXPECT_EQ(output.Take(),
            "\n pvt collisions: 0\n filesize collisions: 0");  // the good load only
  EXPECT_EQ(database.LoadedFileSize(), static_cast<int32_t>(bytes.size()));
  EXPECT_EQ(database.DatFilePath(), path_);
  EXPECT_EQ(IdOf(database.FindPest(0xABCDEF01, 0, 0, 0)), 1u);
}

TEST_F(DatabaseTest, FreeEmptiesTheTable) {
  Write({{.pest_id = 1, .pvt = 77, .file_size = 10, .name = "Gone"}});
  PestDatabase database(kHour, kHour);
  ASSERT_EQ(LoadQuietly(database, path_), DatStatus::kOk);
  database.FreeSignatures();
  EXPECT_EQ(database.SignatureCount(), 0);
  EXPECT_EQ(database.MaxFileSize(), 0u);
  EXPECT_EQ(database.FindPestByName("Gone"), nullptr);
  EXPECT_EQ(database.FirstWithSize(10), nullptr);
  EXPECT_TRUE(database.watcher_running());
}

TEST_F(DatabaseTest, RecordsHandedOutCopyTheSignature) {
  constexpr uint32_t kCrc = 0x0BADF00Du;
  Write({{.pest_id = 4, .pvt = ~kCrc, .file_size = 10, .name = "UPPER.CASE"}});
  PestDatabase database(kHour, kHour);
  ASSERT_EQ(LoadQuietly(database, path_), DatStatus::kOk);

  EXPECT_EQ(IdOf(database.FindPest(kCrc, 0, 0, 0)), 4u);
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
  ASSERT_EQ(database.LoadSignatures(path_.c_str()), DatStatus::kOk);
  const size_t new_size = Write(kNew);
  database.Reload();
  EXPECT_EQ(output.Take(),
            "\n pvt collisions: 0\n filesize collisions: 0"
            "\n pvt collisions: 0\n filesize collisions: 0");
  EXPECT_EQ(database.FindPest(0x01010101, 0, 0, 0), nullptr);
  EXPECT_EQ(IdOf(database.FindPest(0x03030303, 0, 0, 0)), 3u);
  EXPECT_EQ(database.MaxFileSize(), 300u);
  EXPECT_EQ(database.LoadedFileSize(), static_cast<int32_t>(new_size));
}

struct Replacement {
  const char* name;
  std::function<void(const std::string& path)> replace;
};
void PrintTo(const Replacement& r, std::ostream* os) { *os << r.name; }

class UnsoundReplacement : public DatabaseTest,
                           public testing::WithParamInterface<Replacement> {};

TEST_P(UnsoundReplacement, KeepsTheOldTableAndItsSize) {
  const size_t old_size = Write(kOld);
  PestDatabase database(kHour, kHour);
  ASSERT_EQ(LoadQuietly(database, path_), DatStatus::kOk);
  GetParam().replace(path_);
  StdoutCapture output;
  database.Reload();
  EXPECT_EQ(output.Take(), "");
  EXPECT_EQ(IdOf(database.FindPest(0x01010101, 0, 0, 0)), 1u);
  EXPECT_EQ(database.LoadedFileSize(), static_cast<int32_t>(old_size));
  EXPECT_EQ(database.DatFilePath(), path_);
}

INSTANTIATE_TEST_SUITE_P(
    Files, UnsoundReplacement,
    testing::Values(
        Replacement{"Corrupt",
                    [](const std::string& path) {
                      test::Bytes bytes = test::SignatureFile(kNew);
                      bytes[600] ^= 0x40;
                      test::WriteFileBytes(path, bytes);
                    }},
        Replacement{"WrongDate",
                    [](const std::string& path) {
                      test::ContainerOptions options;
                      options.date_low += 1;
                      test::WriteFileBytes(path, test::MakeDataFile(test::LiteralBlock(
                                                     test::SignaturePayload(kNew)), options));
                    }},
        Replacement{"Deleted", [](const std::string& path) { std::filesystem::remove(path); }}),
    [](const testing::TestParamInfo<Replacement>& info) { return info.param.name; });

TEST_F(DatabaseTest, WatcherReloadsAFileOfAnotherSize) {
  Write(kOld);
  PestDatabase database(/*check=*/20, /*settle=*/10);
  ASSERT_EQ(LoadQuietly(database, path_), DatStatus::kOk);
  StdoutCapture output;
  Write(kNew);
  const bool reloaded =
      Eventually([&] { return database.FindPest(0x02020202, 0, 0, 0) != nullptr; });
  database.Shutdown();
  output.Take();
  EXPECT_TRUE(reloaded);
  EXPECT_EQ(database.SignatureCount(), 0);  // freed by the shutdown
}

TEST_F(DatabaseTest, WatcherIgnoresAFileOfTheSameSize) {
  const size_t old_size = Write(kOld);
  PestDatabase database(/*check=*/5, /*settle=*/1);
  StdoutCapture output;
  ASSERT_EQ(database.LoadSignatures(path_.c_str()), DatStatus::kOk);
  std::vector<SignatureRecord> same_size = kOld;
  same_size[0].pvt = 0x0F0F0F0F;
  same_size[0].name = "Old.Two";
  ASSERT_EQ(Write(same_size), old_size);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // forty checks
  database.Shutdown();
  EXPECT_EQ(output.Take(),
            "\n pvt collisions: 0\n filesize collisions: 0");
}

TEST_F(DatabaseTest, ShutdownWhileTheWatcherSleepsReturnsAtOnce) {
  Write(kOld);
  PestDatabase database(kHour, kHour);
  ASSERT_EQ(LoadQuietly(database, path_), DatStatus::kOk);
  ASSERT_TRUE(database.watcher_running());
  std::this_thread::sleep_for(std::chrono::milliseconds(20));  // let it fall asleep
  const auto start = Clock::now();
  database.Shutdown();
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
  EXPECT_FALSE(database.watcher_running());
  EXPECT_EQ(database.SignatureCount(), 0);
  database.Shutdown();  // a second teardown (the destructor's) does nothing
}

TEST_F(DatabaseTest, ReloadsRacingLookupsNeverReadFreedRecords) {
  Write(kOld);
  PestDatabase database(kHour, kHour);
  ASSERT_EQ(LoadQuietly(database, path_), DatStatus::kOk);

  StdoutCapture output;
  std::atomic<bool> done{false};
  std::atomic<int> wrong{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 3; ++t) {
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
          database.FindPestByName("old.one");
        } else {  // the size cursor, which does not wait at the gate
          PestDatabase::Reader reader = database.Read();
          for (const _PEST_SIGNATURE* s = reader.FirstWithSize(200); s != nullptr;
               s = reader.NextWithSize()) {
            if (s->dwPestID != 2) ++wrong;
          }
          database.FirstWithSize(100);
          database.NextWithSize();
        }
      }
    });
  }
  for (int i = 0; i < 60; ++i) {
    Write(i % 2 == 0 ? kNew : kOld);
    database.Reload();
  }
  done = true;
  for (std::thread& reader : readers) reader.join();
  const std::string lines = "\n pvt collisions: 0\n filesize collisions: 0";
  EXPECT_EQ(output.Take().size(), 60 * lines.size());  // every reload loaded
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(database.SignatureCount(), 1);  // the last reload was of kOld
}

}  // namespace
}  // namespace kv
