// Starting and stopping an engine, and what depends on it: the single-file
// scan and the pest information, on an engine of the test's own.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/pest_information.h"
#include "config/data_folder.h"
#include "support/engine_fixture.h"

namespace kv {
namespace {

using test::EngineFixture;

using Detection = std::unique_ptr<_PEST_INFORMATION, decltype(&DeletePestInformation)>;
Detection Scan(Engine& engine, const std::string& path) {
  return Detection(engine.ScanSingleFile(path.c_str()), &DeletePestInformation);
}
using Details = std::unique_ptr<_DETAILED_PEST_INFORMATION, decltype(&FreeDetailedPestInformation)>;
Details Hold(_DETAILED_PEST_INFORMATION* details) {
  return Details(details, &FreeDetailedPestInformation);
}

TEST(Lifecycle, DeinitializeBeforeAnyInitializeIsNine) {
  EngineFixture fixture;
  EXPECT_EQ(fixture.engine().Deinitialize(), Status::kNeverInitialized);
}

TEST(Lifecycle, FailedInitializeSetsDefaultMasksAndNothingElse) {
  EngineFixture fixture;
  fixture.settings().Remove("KVLocation");  // no folder holds KVFILE.DAT
  Engine& engine = fixture.engine();
  engine.file_masks().Set("*.EXE");
  engine.SetScanMode(5);

  EXPECT_EQ(engine.Initialize(), Status::kCannotOpen);
  EXPECT_EQ(engine.init_count(), 0);
  EXPECT_EQ(engine.scan_mode(), 5);
  EXPECT_EQ(engine.max_scan_file_size(), kDefaultMaxScanFileSize);
  EXPECT_EQ(engine.file_masks().masks().size(), 7u);  // the default list
  // The data folder is the last candidate tried: the host's folder.
  std::string host_folder = GetHostFolder(kPathBufferSize).value_or("");
  AppendSeparator(host_folder);
  EXPECT_EQ(engine.data_folder().Get(), host_folder);
  EXPECT_EQ(engine.Deinitialize(), Status::kNeverInitialized);
}

TEST(Lifecycle, InitializeLoadsResetsScanModeAndCounts) {
  EngineFixture fixture;
  Engine& engine = fixture.engine();
  engine.SetScanMode(1);
  ASSERT_EQ(engine.Initialize(), Status::kOk);
  EXPECT_EQ(engine.init_count(), 1);
  EXPECT_EQ(engine.scan_mode(), 0);
  EXPECT_EQ(engine.max_scan_file_size(), EngineFixture::kComplementedSize);
  EXPECT_EQ(engine.data_folder().Get(), fixture.DataFolderWithSeparator());
  EXPECT_NE(Scan(engine, fixture.trojan_path()), nullptr);

  ASSERT_EQ(engine.Initialize(), Status::kOk);  // a second load replaces the table
  EXPECT_EQ(engine.init_count(), 2);
  EXPECT_EQ(engine.database().SignatureCount(), 2);

  EXPECT_EQ(engine.Deinitialize(), Status::kOk);  // stays initialized, table empty
  EXPECT_EQ(engine.init_count(), 2);
  EXPECT_EQ(Scan(engine, fixture.trojan_path()), nullptr);
  EXPECT_EQ(engine.Deinitialize(), Status::kOk);
}

TEST(Lifecycle, SetFolderIsHonouredAndGetsItsSeparator) {
  EngineFixture fixture;
  fixture.settings().Remove("KVLocation");
  Engine& engine = fixture.engine();
  engine.data_folder().Set(fixture.data().path().string());
  ASSERT_EQ(engine.Initialize(), Status::kOk);
  EXPECT_EQ(engine.data_folder().Get(), fixture.DataFolderWithSeparator());
}

TEST(SingleFileScan, DetectsStoredAndComplementedFingerprints) {
  EngineFixture fixture;
  Engine& engine = fixture.engine();
  ASSERT_EQ(engine.Initialize(), Status::kOk);

  const Detection trojan = Scan(engine, fixture.trojan_path());
  ASSERT_NE(trojan, nullptr);
  EXPECT_EQ(trojan->dwPestID, test::kTrojanId);
  EXPECT_EQ(trojan->dwPVT, fixture.trojan_crc());
  EXPECT_STREQ(trojan->lpszPestName, test::kTrojanName);
  EXPECT_EQ(trojan->lpszFileName, fixture.trojan_path());
  EXPECT_EQ(trojan->bSizeMatch, 0);

  const Detection complemented = Scan(engine, fixture.complemented_path());
  ASSERT_NE(complemented, nullptr);
  EXPECT_EQ(complemented->dwPestID, test::kComplementedId);
  EXPECT_EQ(complemented->dwPVT, ~fixture.complemented_crc());  // as stored

  EXPECT_EQ(Scan(engine, fixture.clean_path()), nullptr);
  EXPECT_EQ(engine.ScanSingleFile(nullptr), nullptr);
}

TEST(SingleFileScan, ExcludedPestIsNotReported) {
  EngineFixture fixture;
  Engine& engine = fixture.engine();
  ASSERT_EQ(engine.Initialize(), Status::kOk);
  ASSERT_EQ(engine.exclusions().Add(fixture.trojan_path().c_str()), 1);
  EXPECT_EQ(Scan(engine, fixture.trojan_path()), nullptr);
  EXPECT_NE(Scan(engine, fixture.complemented_path()), nullptr);
}

TEST(SingleFileScan, RelativePathIsKeptAsGiven) {
  EngineFixture fixture;
  Engine& engine = fixture.engine();
  ASSERT_EQ(engine.Initialize(), Status::kOk);
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(fixture.data().path());
  const Detection found = Scan(engine, "trojan.exe");
  std::filesystem::current_path(previous);
  ASSERT_NE(found, nullptr);
  EXPECT_STREQ(found->lpszFileName, "trojan.exe");
}

TEST(PestInformation, LoadTwiceUnloadOnceKeepsTheTable) {
  EngineFixture fixture;
  fixture.WritePestInfo();
  Engine& engine = fixture.engine();
  EXPECT_EQ(engine.UnloadPestInfo(), Status::kOk);  // nothing loaded: no change
  EXPECT_FALSE(engine.pest_info_loaded());

  ASSERT_EQ(engine.LoadPestInfo(), Status::kOk);
  ASSERT_EQ(engine.LoadPestInfo(), Status::kOk);
  EXPECT_EQ(engine.UnloadPestInfo(), Status::kOk);
  EXPECT_NE(Hold(engine.GetDetailedPestInfoByIndex(0)), nullptr);
  EXPECT_EQ(Hold(engine.GetDetailedPestInfoByIndex(2)), nullptr);
  EXPECT_EQ(engine.UnloadPestInfo(), Status::kOk);
  EXPECT_FALSE(engine.pest_info_loaded());
  EXPECT_EQ(Hold(engine.GetDetailedPestInfoByIndex(0)), nullptr);
}

// Threads load, look up and unload side by side: while a thread holds its
// reference the table is there for it, and the last unload releases it.
TEST(PestInformation, LoadAndUnloadOnManyThreadsKeepTheTableForItsHolders) {
  EngineFixture fixture;
  fixture.WritePestInfo();
  Engine& engine = fixture.engine();
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int round = 0; round < 50; ++round) {
        if (engine.LoadPestInfo() != Status::kOk) ++failures;
        if (Hold(engine.GetDetailedPestInfoByIndex(0)) == nullptr) ++failures;
        _DETAILED_PEST_INFORMATION* out = nullptr;
        if (engine.GetDetailedPestInformation(test::kTrojanId, &out) != Status::kOk) ++failures;
        const Details details = Hold(out);
        if (!details || std::string(details->lpszText2) != "Steals passwords") ++failures;
        if (engine.UnloadPestInfo() != Status::kOk) ++failures;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_FALSE(engine.pest_info_loaded());
}

TEST(PestInformation, OnDemandLoadIsReleasedWithinTheCall) {
  EngineFixture fixture;
  fixture.WritePestInfo();
  Engine& engine = fixture.engine();
  _DETAILED_PEST_INFORMATION* out = nullptr;
  ASSERT_EQ(engine.GetDetailedPestInformation(test::kTrojanId, &out), Status::kOk);
  const Details details = Hold(out);
  EXPECT_FALSE(engine.pest_info_loaded());
  EXPECT_STREQ(details->lpszText2, "Steals passwords");
  EXPECT_STREQ(details->lpszText3, "");  // absent text: an empty string
  EXPECT_STREQ(details->lpszText5, "Delete it");

  out = nullptr;
  EXPECT_EQ(engine.GetDetailedPestInformation(999, &out), Status::kPestNotFound);
  EXPECT_EQ(out, nullptr);
  EXPECT_FALSE(engine.pest_info_loaded());
}

TEST(PestInformation, MissingFileGivesItsStatus) {
  EngineFixture fixture;  // no KVINFO.DAT anywhere
  _DETAILED_PEST_INFORMATION* out = nullptr;
  EXPECT_EQ(fixture.engine().GetDetailedPestInformation(test::kTrojanId, &out),
            Status::kCannotOpen);
  EXPECT_EQ(fixture.engine().LoadPestInfo(), Status::kCannotOpen);
  EXPECT_FALSE(fixture.engine().pest_info_loaded());
}

TEST(PestInformation, ByNameIgnoresCaseAndNeedsASignature) {
  EngineFixture fixture;
  fixture.WritePestInfo();
  Engine& engine = fixture.engine();
  _DETAILED_PEST_INFORMATION* out = nullptr;
  EXPECT_EQ(engine.GetDetailedPestInformationFromName("spy.inverted", &out),
            Status::kPestNotFound);  // no table
  ASSERT_EQ(engine.Initialize(), Status::kOk);
  ASSERT_EQ(engine.GetDetailedPestInformationFromName("spy.INVERTED", &out), Status::kOk);
  const Details details = Hold(out);
  EXPECT_EQ(details->dwPestID, test::kComplementedId);
  EXPECT_STREQ(details->lpszText1, "Spyware");
  EXPECT_EQ(engine.GetDetailedPestInformationFromName("Unknown", &out), Status::kPestNotFound);
  EXPECT_EQ(engine.GetDetailedPestInformationFromName(nullptr, &out), Status::kPestNotFound);
}

TEST(PestInformation, LoadIgnoresAndReplacesTheSetFolder) {
  EngineFixture fixture;
  fixture.WritePestInfo();
  Engine& engine = fixture.engine();
  test::TempFolder elsewhere;
  engine.data_folder().Set(elsewhere.path().string());
  ASSERT_EQ(engine.LoadPestInfo(), Status::kOk);
  EXPECT_EQ(engine.data_folder().Get(), fixture.DataFolderWithSeparator());
}

}  // namespace
}  // namespace kv
