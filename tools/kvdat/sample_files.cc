// Sample generation: EICAR from its obfuscated bytes, synthetic pests from a
// fixed pseudo-random sequence per sample.
#include "sample_files.h"

#include <algorithm>

#include "file_io.h"

namespace kv::kvdat {
namespace {

// The test string reversed, each byte XOR 0x5A.
constexpr uint8_t kObfuscatedEicar[] = {
    0x70, 0x12, 0x71, 0x12, 0x7E, 0x7B, 0x1F, 0x16, 0x13, 0x1C, 0x77, 0x0E, 0x09, 0x1F,
    0x0E, 0x77, 0x09, 0x0F, 0x08, 0x13, 0x0C, 0x13, 0x0E, 0x14, 0x1B, 0x77, 0x1E, 0x08,
    0x1B, 0x1E, 0x14, 0x1B, 0x0E, 0x09, 0x77, 0x08, 0x1B, 0x19, 0x13, 0x1F, 0x7E, 0x27,
    0x6D, 0x73, 0x19, 0x19, 0x6D, 0x73, 0x04, 0x0A, 0x72, 0x6E, 0x6F, 0x02, 0x00, 0x0A,
    0x06, 0x6E, 0x01, 0x0A, 0x1B, 0x1A, 0x7F, 0x0A, 0x7B, 0x15, 0x6F, 0x02};

struct SyntheticSample {
  const char* file_name;
  uint32_t size;
  uint64_t seed;
};

// Sizes on both sides of the 2047-byte head and the 4096-byte second CRC.
constexpr SyntheticSample kSynthetic[] = {
    {"orchid-dialer.exe", 1536, 0x6F72636869640001},
    {"basalt-keylogger.exe", 6144, 0x626173616C740002},
    {"tundra-adware.dll", 20480, 0x74756E6472610003},
    {"quill-backdoor.exe", 4097, 0x7175696C6C000004},
    {"quill-backdoor-b.exe", 4097, 0x7175696C6C000005},
};

// Bytes that look like a small program: a text banner, then a mix of
// repeated instruction-like patterns and noise, so that the samples
// compress like real files rather than like pure noise.
std::vector<uint8_t> SyntheticBytes(const SyntheticSample& sample) {
  std::vector<uint8_t> bytes;
  bytes.reserve(sample.size);
  const std::string banner =
      std::string("MZ kvserver synthetic sample ") + sample.file_name + " - harmless test data\r\n";
  bytes.insert(bytes.end(), banner.begin(), banner.end());
  uint64_t state = sample.seed;
  const auto next = [&state] {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  };
  while (bytes.size() < sample.size) {
    const uint64_t value = next();
    if ((value & 3) == 0 && bytes.size() > 64) {
      const size_t length = 4 + (value >> 8) % 24;
      const size_t from =
          bytes.size() - 1 - (value >> 16) % std::min<size_t>(bytes.size() - 1, 2000);
      for (size_t i = 0; i < length; ++i) bytes.push_back(bytes[from + i]);
    } else {
      bytes.push_back(static_cast<uint8_t>(value >> 24));
    }
  }
  bytes.resize(sample.size);
  return bytes;
}

}  // namespace

std::vector<uint8_t> EicarTestFile() {
  std::vector<uint8_t> bytes(std::rbegin(kObfuscatedEicar), std::rend(kObfuscatedEicar));
  for (uint8_t& byte : bytes) byte ^= 0x5A;
  return bytes;
}

std::vector<SampleFile> SampleFiles() {
  std::vector<SampleFile> samples;
  samples.push_back({"eicar.com", EicarTestFile()});
  for (const SyntheticSample& sample : kSynthetic) {
    samples.push_back({sample.file_name, SyntheticBytes(sample)});
  }
  return samples;
}

void WriteSampleFiles(const std::filesystem::path& folder) {
  std::filesystem::create_directories(folder);
  for (const SampleFile& sample : SampleFiles()) {
    WriteFileAtomically(folder / sample.file_name, sample.bytes);
  }
}

}  // namespace kv::kvdat
