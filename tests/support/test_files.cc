// Test helpers: temporary folders, data paths, block and container builders.
#include "support/test_files.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <random>
#include <stdexcept>

#include "common/byte_order.h"
#include "common/crc32.h"
#include "database/block_decoder.h"
#include "database/data_file.h"
#include "platform/modules.h"
#include "support/bit_writer.h"

namespace kv::test {
namespace fs = std::filesystem;

TempFolder::TempFolder() {
  static std::atomic<unsigned> counter{0};
  std::random_device random;
  const fs::path base = fs::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = "kvtest-" + std::to_string(random()) + "-" + std::to_string(counter++);
    if (fs::create_directory(base / name)) {
      path_ = base / name;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string TempFolder::File(const std::string& name) const { return (path_ / name).string(); }

fs::path TestExecutableFolder() { return fs::path(platform::HostExecutablePath()).parent_path(); }

fs::path TestDataPath(const std::string& relative) {
  return TestExecutableFolder() / "data" / relative;
}

Bytes ReadFileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

Bytes LiteralBlock(const Bytes& payload, bool with_checksum) {
  BitWriter stream;
  stream.LiteralWidth8();
  for (uint8_t byte : payload) stream.Literal(byte);
  stream.End();
  Bytes block(kBlockHeaderSize);
  block[0] = 'J';
  block[1] = 'C';
  StoreLe32(&block[2], static_cast<uint32_t>(payload.size()));
  StoreLe32(&block[6], with_checksum ? BlockChecksum(payload) : 0);
  const Bytes words = stream.Finish();
  block.insert(block.end(), words.begin(), words.end());
  return block;
}

Bytes MakeDataFile(const Bytes& block, const ContainerOptions& options) {
  Bytes file(kContainerHeaderSize, 0);
  file[0] = 'P';
  file[1] = 'E';
  file[2] = 'S';
  file[3] = 'T';
  StoreLe32(&file[kFormatDateOffset], options.date_low);
  StoreLe32(&file[kFormatDateOffset + 4], options.date_high);
  StoreLe32(&file[kRecordCountOffset], static_cast<uint32_t>(options.record_count));
  Bytes body(block.size());
  uint8_t previous = 0;
  for (size_t i = 0; i < block.size(); ++i) {
    body[i] = i == 0 ? static_cast<uint8_t>(block[0] ^ 0xA6)
                     : static_cast<uint8_t>((block[i] ^ 0xB5) + previous);
    previous = body[i];
  }
  const Bytes& checked = options.check_word_over_plain_body ? block : body;
  StoreLe32(&file[kCheckWordOffset], Crc32(checked.data(), checked.size()) ^ kCheckWordMask);
  file.insert(file.end(), body.begin(), body.end());
  return file;
}

}  // namespace kv::test
