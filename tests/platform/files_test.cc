// File sizes by name, as the database watcher reads them.
#include "platform/files.h"

#include <gtest/gtest.h>

#include "support/test_files.h"

namespace kv {
namespace {

TEST(GetFileSizeByName, GivesTheSizeOrAllOnesWithoutAFile) {
  test::TempFolder folder;
  const std::string path = folder.File("KVFILE.DAT");
  test::WriteFileBytes(path, test::Bytes(1234, 7));
  uint32_t high = 99;
  EXPECT_EQ(platform::GetFileSizeByName(path.c_str(), &high), 1234u);
  EXPECT_EQ(high, 0u);
  EXPECT_EQ(platform::GetFileSizeByName(path.c_str()), 1234u);
  test::WriteFileBytes(path, {});
  EXPECT_EQ(platform::GetFileSizeByName(path.c_str()), 0u);
  EXPECT_EQ(platform::GetFileSizeByName(folder.File("missing").c_str()), 0xFFFFFFFFu);
  EXPECT_EQ(platform::GetFileSizeByName(folder.path().string().c_str()), 0xFFFFFFFFu);
  EXPECT_EQ(platform::GetFileSizeByName(nullptr), 0xFFFFFFFFu);
}

}  // namespace
}  // namespace kv
