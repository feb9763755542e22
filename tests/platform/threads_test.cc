// Sleeping threads: Stop() ends them at once, whether they sleep, have not
// started yet, or have already left their body.
#include "platform/threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

namespace kv::platform {
namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kHourMs = 3600 * 1000;

// Runs Stop() and checks it neither waited for a sleep nor failed.
void ExpectStopsAtOnce(SleepingThread& thread) {
  const auto start = Clock::now();
  EXPECT_TRUE(thread.Stop());
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
  EXPECT_TRUE(thread.Stop());  // a second call does nothing
}

TEST(SleepingThread, StopWakesASleeperAndItsBodyEnds) {
  std::atomic<int> sleeps{0};
  std::atomic<bool> body_returned{false};
  auto thread = SleepingThread::Start([&](SleepingThread::Control& control) {
    while (true) {
      ++sleeps;
      if (!control.SleepFor(kHourMs)) break;
    }
    body_returned = true;
  });
  ASSERT_NE(thread, nullptr);
  while (sleeps == 0) SleepMilliseconds(1);
  ExpectStopsAtOnce(*thread);
  EXPECT_EQ(sleeps, 1);
  EXPECT_TRUE(body_returned);
}

TEST(SleepingThread, StopRightAfterStartNeverRunsOrWaitsForTheBody) {
  for (int i = 0; i < 20; ++i) {
    auto thread =
        SleepingThread::Start([](SleepingThread::Control& control) { control.SleepFor(kHourMs); });
    ASSERT_NE(thread, nullptr);
    ExpectStopsAtOnce(*thread);
  }
}

TEST(SleepingThread, StopAfterTheBodyReturnedOnItsOwn) {
  std::atomic<bool> done{false};
  auto thread = SleepingThread::Start([&](SleepingThread::Control&) { done = true; });
  ASSERT_NE(thread, nullptr);
  while (!done) SleepMilliseconds(1);
  SleepMilliseconds(20);  // let it get past its body
  ExpectStopsAtOnce(*thread);
}

}  // namespace
}  // namespace kv::platform
