// File helpers of kvdat: reads with clear errors, writes through a temporary
// file and a rename.
#include "file_io.h"

#include <fstream>
#include <random>
#include <stdexcept>
#include <string>

namespace kv::kvdat {
namespace fs = std::filesystem;

std::vector<uint8_t> ReadWholeFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path.string());
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
  if (in.bad()) throw std::runtime_error("cannot read " + path.string());
  return bytes;
}

void WriteFileAtomically(const fs::path& path, std::span<const uint8_t> bytes) {
  std::random_device random;
  fs::path temporary = path;
  temporary += ".tmp-" + std::to_string(random());
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot create " + temporary.string());
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::error_code ignored;
      fs::remove(temporary, ignored);
      throw std::runtime_error("cannot write " + temporary.string());
    }
  }
  std::error_code error;
  fs::rename(temporary, path, error);
  if (error) {
    // Some platforms refuse to rename over an existing file.
    std::error_code ignored;
    fs::remove(path, ignored);
    fs::rename(temporary, path, error);
  }
  if (error) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    throw std::runtime_error("cannot replace " + path.string() + ": " + error.message());
  }
}

}  // namespace kv::kvdat
