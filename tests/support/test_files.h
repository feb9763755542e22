// Helpers shared by the tests: private temporary folders, test data beside
// the test executable, whole-file reads and writes, simple blocks and data
// files built from a payload.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kv::test {

using Bytes = std::vector<uint8_t>;

// A fresh folder of its own under the system's temporary folder, removed
// with everything in it when the object goes.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // Path of `name` inside the folder, as a native string.
  std::string File(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

// Folder of the running test executable.
std::filesystem::path TestExecutableFolder();
// A file of tests/data, copied beside the test executable by the build.
std::filesystem::path TestDataPath(const std::string& relative);

Bytes ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const Bytes& bytes);

// A block holding `payload` as 8-bit literals, with its checksum (or 0 when
// `with_checksum` is false).
Bytes LiteralBlock(const Bytes& payload, bool with_checksum = true);

// The data-file container around a block: header, scrambled body, check
// word. The fields can be spoiled one by one for tests.
struct ContainerOptions {
  uint32_t date_low = 0x2A61C000u;
  uint32_t date_high = 0x01C25DDDu;
  int32_t record_count = 1;
  bool check_word_over_plain_body = false;
};
Bytes MakeDataFile(const Bytes& block, const ContainerOptions& options = {});

}  // namespace kv::test
