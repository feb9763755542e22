// Engine state and the pause gate, on an engine instance of the test's own.
#include "engine/engine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "support/engine_library.h"

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

TEST(Engine, LoadsTheUnzipLibraryOnlyWhenStarted) {
  EngineOptions options;
  options.unzip_library = test::BuiltUnzipLibraryPath();
  Engine engine(std::move(options));
  EXPECT_FALSE(engine.unzip().ready);
  EXPECT_NE(engine.Initialize(), Status::kOk);  // even when no data file is found
  EXPECT_TRUE(engine.unzip().ready);
}

TEST(Engine, ScanModeIsStoredUnchecked) {
  Engine engine;
  for (int32_t mode : {1, 5, -3, 0}) {
    EXPECT_EQ(engine.SetScanMode(mode), 1);
    EXPECT_EQ(engine.scan_mode(), mode);
  }
}

TEST(Engine, PauseClosesTheGateBeforeRaisingTheFlagAndResumeOpensIt) {
  Engine engine;
  EXPECT_TRUE(engine.pause_gate_open());
  EXPECT_EQ(engine.PauseScan(), 1);
  EXPECT_TRUE(engine.scan_paused());
  EXPECT_FALSE(engine.pause_gate_open());
  EXPECT_EQ(engine.ResumeScan(), 1);
  EXPECT_FALSE(engine.scan_paused());
  EXPECT_TRUE(engine.pause_gate_open());
  engine.WaitWhilePaused();  // would never return with the gate closed
}

TEST(Engine, ResumeReleasesAWalkWaitingAtTheGate) {
  Engine engine;
  engine.PauseScan();
  std::atomic<bool> passed{false};
  std::thread walker([&] {
    engine.WaitWhilePaused();
    passed = true;
  });
  // The gate is closed, so the walker cannot pass it until the resume below;
  // the join would hang if the resume did not release it.
  EXPECT_FALSE(engine.pause_gate_open());
  engine.ResumeScan();
  walker.join();
  EXPECT_TRUE(passed);
}

}  // namespace
}  // namespace kv
