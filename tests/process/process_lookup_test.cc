// Process lookup: the own process, an unknown id, a null buffer and the
// size limits.
#include "process/process_lookup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/modules.h"
#include "platform/processes.h"
#include "support/run_program.h"

namespace kv {
namespace {

// An id no system hands out (Windows ids are multiples of 4; Linux ids stay
// far below).
constexpr uint32_t kUnknownId = 0xFFFFFFF3u;

using test::OwnProcessId;

TEST(ProcessLookup, FindsTheOwnProcessWholePath) {
  const std::string own = platform::HostExecutablePath();
  const uint32_t id = OwnProcessId();
  ASSERT_NE(id, 0u) << "own process not listed";
  std::vector<char> buffer(own.size() + 2, '#');
  const uint32_t exact = static_cast<uint32_t>(own.size());
  EXPECT_EQ(GetProcessFilename(id, buffer.data(), exact), static_cast<int32_t>(exact));
  EXPECT_EQ(std::string(buffer.data()), own);
  EXPECT_EQ(buffer[exact + 1], '#');  // size + 1 bytes written, no more

  EXPECT_EQ(GetProcessFilename(id, buffer.data(), exact - 1), -1);
  EXPECT_EQ(buffer[0], '\0');
}

TEST(ProcessLookup, UnknownIdGivesZeroAndAnEmptyBuffer) {
  char buffer[16] = "unchanged";
  EXPECT_EQ(GetProcessFilename(kUnknownId, buffer, 15), 0);
  EXPECT_EQ(buffer[0], '\0');
}

TEST(ProcessLookup, NullBufferGivesMinusOne) {
  EXPECT_EQ(GetProcessFilename(OwnProcessId(), nullptr, 4096), -1);
}

TEST(ProcessLookup, RecordsNameTheirExecutable) {
  const auto records = platform::ListProcesses();
  ASSERT_TRUE(records.has_value());
  ASSERT_FALSE(records->empty());
  for (const auto& record : *records) {
    if (record.path.empty()) continue;
    EXPECT_EQ(record.path.substr(record.path.size() - record.base_name.size()), record.base_name);
  }
}

}  // namespace
}  // namespace kv
