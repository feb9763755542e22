// Head fingerprints of files on disk.
#include "scan/fingerprint.h"

#include <gtest/gtest.h>

#include <fstream>

#include "common/crc32.h"
#include "support/test_files.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

namespace kv {
namespace {

test::Bytes Content(size_t size) {
  test::Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 31 + (i >> 8));
  return bytes;
}

class FingerprintOfLength : public testing::TestWithParam<size_t> {};

TEST_P(FingerprintOfLength, CoversTheFirst2047And4096Bytes) {
  const size_t size = GetParam();
  test::TempFolder folder;
  const std::string path = folder.File("sample.bin");
  const test::Bytes content = Content(size);
  test::WriteFileBytes(path, content);

  Fingerprint fingerprint;
  ASSERT_TRUE(ComputeFingerprint(path.c_str(), &fingerprint));
  EXPECT_EQ(fingerprint.head_crc, Crc32(content.data(), std::min<size_t>(size, 2047)));
  EXPECT_EQ(fingerprint.long_head_crc, Crc32(content.data(), std::min<size_t>(size, 4096)));
  if (size <= 2047) {
    EXPECT_EQ(fingerprint.head_crc, fingerprint.long_head_crc);
  }
}

INSTANTIATE_TEST_SUITE_P(Lengths, FingerprintOfLength,
                         testing::Values(1, 2046, 2047, 2048, 3000, 4096, 10000));

TEST(Fingerprint, FailsWithNoFingerprintForUnreadableFiles) {
  test::TempFolder folder;
  const std::string empty = folder.File("empty.bin");
  test::WriteFileBytes(empty, {});
  for (const std::string& path : {empty, folder.File("missing.bin"), folder.path().string()}) {
    Fingerprint fingerprint{1, 2};
    EXPECT_FALSE(ComputeFingerprint(path.c_str(), &fingerprint)) << path;
    EXPECT_EQ(fingerprint.head_crc, kNoFingerprint);
    EXPECT_EQ(fingerprint.long_head_crc, kNoFingerprint);
  }
}

#if defined(_WIN32)
TEST(Fingerprint, RefusesAFileHeldOpenForWriting) {
  test::TempFolder folder;
  const std::string path = folder.File("busy.bin");
  test::WriteFileBytes(path, Content(100));
  std::ofstream writer(path, std::ios::binary | std::ios::app);
  ASSERT_TRUE(writer.is_open());
  Fingerprint fingerprint;
  EXPECT_FALSE(ComputeFingerprint(path.c_str(), &fingerprint));
  writer.close();
  EXPECT_TRUE(ComputeFingerprint(path.c_str(), &fingerprint));
}
#else
TEST(Fingerprint, RefusesAFifoWithoutBlocking) {
  test::TempFolder folder;
  const std::string path = folder.File("pipe");
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  Fingerprint fingerprint;
  EXPECT_FALSE(ComputeFingerprint(path.c_str(), &fingerprint));
}
#endif

}  // namespace
}  // namespace kv
