// Engine state and the pause gate, on an engine instance of the test's own.
#include "engine/engine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace kv {
namespace {

TEST(Engine, StartsWithDefaultState) {
  Engine engine;
  EXPECT_EQ(engine.scan_mode(), 0);
  EXPECT_FALSE(engine.scan_paused());
  EXPECT_EQ(engine.init_count(), 0);
  EXPECT_EQ(engine.max_scan_file_size(), 0x7FFFFFFFu);
  EXPECT_EQ(engine.database().SignatureCount(), 0);
  EXPECT_FALSE(engine.database().watcher_running());
}

TEST(Engine, AttachesWithoutUnzipLibrary) {
  Engine engine;  // the test folders hold no unzip library
  EXPECT_FALSE(engine.unzip().ready);
}

TEST(Engine, ScanModeIsStoredUnchecked) {
  Engine engine;
  for (int32_t mode : {1, 5, -3, 0}) {
    EXPECT_EQ(engine.SetScanMode(mode), 1);
    EXPECT_EQ(engine.scan_mode(), mode);
  }
}

TEST(Engine, PauseHoldsWalksUntilResume) {
  Engine engine;
  EXPECT_EQ(engine.PauseScan(), 1);
  EXPECT_TRUE(engine.scan_paused());

  std::atomic<bool> passed{false};
  std::thread walker([&] {
    engine.WaitWhilePaused();
    passed = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(passed);
  EXPECT_EQ(engine.ResumeScan(), 1);
  walker.join();
  EXPECT_TRUE(passed);
  EXPECT_FALSE(engine.scan_paused());
}

TEST(Engine, NotPausedMeansNoWait) {
  Engine engine;
  engine.PauseScan();
  engine.ResumeScan();
  engine.WaitWhilePaused();  // returns at once
  SUCCEED();
}

}  // namespace
}  // namespace kv
