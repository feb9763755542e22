// The walk's exports as a host calls them through the loaded library: the
// plain entry, its callee-pops twin, the walk without resume under its
// decorated Windows name, the asynchronous scan and the stop.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "kvserver.h"
#include "support/engine_fixture.h"
#include "support/engine_library.h"
#include "support/scan_recorder.h"

namespace kv {
namespace {

using test::ScanRecorder;
using VoidFn = int32_t(KV_CDECL*)(void);
using ScanFn = int32_t(KV_CDECL*)(char*, ScanCallback, int32_t);

class ScanExports : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(library_.loaded()) << library_.path();
    library_.Require<int32_t(KV_CDECL*)(const char*)>("kvSetDATFolder")(
        fixture_.data().path().string().c_str());
    ASSERT_EQ(library_.Require<VoidFn>("kvServerInitialize")(), 0);
    release_ = library_.Require<test::ReleaseRecord>("kvDeallocatePestInformation");
    scan_ = library_.Require<ScanFn>("kvScanFileOrDirectory");
    ASSERT_TRUE(release_ && scan_);
    test::WriteFileBytes(tree_.File("pest.exe"), test::ReadFileBytes(fixture_.trojan_path()));
    test::WriteFileBytes(tree_.File("clean.exe"), {1, 2, 3});
    test::WriteFileBytes(tree_.File("skipped.gif"), {1, 2, 3});
    path_ = tree_.path().string();
  }
  void TearDown() override {
    if (!library_.loaded()) return;
    if (auto deinitialize = library_.Require<VoidFn>("kvServerDeinitialize")) deinitialize();
  }

  std::unique_ptr<ScanRecorder> NewRecorder() { return std::make_unique<ScanRecorder>(release_); }

  test::EngineLibrary library_;
  test::EngineFixture fixture_;
  test::TempFolder tree_;
  std::string path_;
  test::ReleaseRecord release_ = nullptr;
  ScanFn scan_ = nullptr;
};

TEST_F(ScanExports, WalkReportsEveryFileThatPassesTheMasks) {
  auto recorder = NewRecorder();
  EXPECT_EQ(scan_(path_.data(), &ScanRecorder::Callback, recorder->user_value()), 2);
  const auto pests = recorder->Ending("pest.exe");
  ASSERT_EQ(pests.size(), 1u);
  EXPECT_EQ(pests[0].pest_id, test::kTrojanId);
  EXPECT_EQ(pests[0].size_match, 1);
  EXPECT_EQ(recorder->Ending("clean.exe").at(0).detected, 0);
}

TEST_F(ScanExports, WalkResumesAPausedEngineButTheInternalWalkDoesNot) {
  auto internal =
      library_.Find<KV_SCANFILEORDIRECTORY_INTERNAL_FN>(KV_SCANFILEORDIRECTORY_INTERNAL_NAME);
  ASSERT_NE(internal, nullptr) << KV_SCANFILEORDIRECTORY_INTERNAL_NAME;
  library_.Require<VoidFn>("kvPauseScan")();
  auto recorder = NewRecorder();
  EXPECT_EQ(scan_(path_.data(), &ScanRecorder::Callback, recorder->user_value()), 2);
  // Only the stdcall callback given: it is the one called.
  auto stdcall_recorder = NewRecorder();
  EXPECT_EQ(internal(path_.data(), nullptr, &ScanRecorder::StdcallCallback,
                     stdcall_recorder->user_value()),
            2);
  EXPECT_EQ(stdcall_recorder->paths().size(), 2u);
  // Paused without a resume, the internal walk waits before its first entry
  // until the stop wakes it.
  library_.Require<VoidFn>("kvPauseScan")();
  auto held = NewRecorder();
  int32_t count = -2;
  std::thread walker([&] {
    count = internal(path_.data(), &ScanRecorder::Callback, nullptr, held->user_value());
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_TRUE(held->reports().empty());
  EXPECT_EQ(library_.Require<VoidFn>("kvStopScan")(), 1);
  walker.join();
  EXPECT_EQ(count, 0);
}

#if defined(_WIN32)
TEST_F(ScanExports, WindowsExportsTheInternalWalkUnderItsDecoratedNameOnly) {
  EXPECT_EQ(library_.Find<VoidFn>("kvScanFileOrDirectory_Internal"), nullptr);
  EXPECT_EQ(library_.Find<VoidFn>("_kvScanFileOrDirectory_async_stdcall@12"), nullptr);
  auto twin = library_.Find<KV_SCANFILEORDIRECTORY_STDCALL_FN>("_kvScanFileOrDirectory_stdcall@12");
  auto stop_twin = library_.Find<KV_VOID_STDCALL_FN>("_kvStopScan_stdcall@0");
  ASSERT_TRUE(twin && stop_twin);
  auto plain = NewRecorder();
  auto twinned = NewRecorder();
  EXPECT_EQ(twin(path_.data(), &ScanRecorder::StdcallCallback, twinned->user_value()),
            scan_(path_.data(), &ScanRecorder::Callback, plain->user_value()));
  EXPECT_EQ(twinned->paths(), plain->paths());
  EXPECT_EQ(stop_twin(), 1);
}
#endif

TEST_F(ScanExports, AsyncScanOwnsItsPathAndEndsWithANotification) {
  auto async = library_.Require<ScanFn>("kvScanFileOrDirectory_async");
  ASSERT_NE(async, nullptr);
  auto recorder = NewRecorder();
  EXPECT_EQ(async(path_.data(), nullptr, 7), 0);
  EXPECT_EQ(async(nullptr, &ScanRecorder::Callback, recorder->user_value()), 0);

  const int ended = ScanRecorder::EndNotifications();
  char* buffer = static_cast<char*>(std::malloc(path_.size() + 1));
  std::memcpy(buffer, path_.c_str(), path_.size() + 1);
  EXPECT_EQ(async(buffer, &ScanRecorder::Callback, recorder->user_value()), 1);
  std::memset(buffer, 'x', path_.size());  // the host reuses its buffer at once
  std::free(buffer);
  ASSERT_TRUE(ScanRecorder::WaitForEndNotifications(ended + 1, 60));
  EXPECT_EQ(recorder->paths().size(), 2u);
  EXPECT_EQ(recorder->Ending("pest.exe").at(0).detected, 1);
}

// A host may release the library while its asynchronous scan is still in a
// callback: the scan's thread keeps the code loaded until it has left it.
TEST_F(ScanExports, AsyncScanOutlivesTheHostReleasingTheLibrary) {
  auto async = library_.Require<ScanFn>("kvScanFileOrDirectory_async");
  ASSERT_NE(async, nullptr);
  auto recorder = NewRecorder();
  std::atomic<bool> entered{false};
  std::atomic<bool> released{false};
  recorder->set_answer([&](const test::ScanReport&) {
    entered = true;
    while (!released) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return 1;
  });
  const int ended = ScanRecorder::EndNotifications();
  ASSERT_EQ(async(path_.data(), &ScanRecorder::Callback, recorder->user_value()), 1);
  for (int i = 0; i < 6000 && !entered; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(entered);
  library_.Unload();
  released = true;
  ASSERT_TRUE(ScanRecorder::WaitForEndNotifications(ended + 1, 60));
  EXPECT_EQ(recorder->paths().size(), 2u);
}

}  // namespace
}  // namespace kv
