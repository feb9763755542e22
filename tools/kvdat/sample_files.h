// The sample files of the demo database: the EICAR test file and synthetic
// pests that the project generates itself, the same bytes on every build.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kv::kvdat {

struct SampleFile {
  std::string file_name;
  std::vector<uint8_t> bytes;
};

// The 68-byte EICAR antivirus test file. The sources hold it only in an
// obfuscated form, so that no scanner flags the source tree.
std::vector<uint8_t> EicarTestFile();

// Every sample, EICAR first.
std::vector<SampleFile> SampleFiles();

// Writes every sample into `folder` (created when missing).
void WriteSampleFiles(const std::filesystem::path& folder);

}  // namespace kv::kvdat
