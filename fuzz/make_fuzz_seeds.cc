// Writes seed inputs for the fuzz targets: signature data built against the
// PVT index (see test::HostileSignatures), as whole data files, as their
// compressed blocks, and as count-and-payload inputs; mask lists with file
// names, and exclusion lists with paths.
// Usage: make_fuzz_seeds FOLDER (one subfolder per target is created).
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "block_compressor.h"
#include "common/byte_order.h"
#include "container.h"
#include "support/signature_file.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;
using kv::test::Hostile;

struct Seed {
  const char* name;
  Hostile kind;
  uint32_t file_records;     // in the data file and the block: compressed well
  uint32_t payload_records;  // in the raw payload input
};

constexpr Seed kSeeds[] = {
    {"equal-pvts", Hostile::kEqualPvts, 20'000, 500},
    {"same-home-slot", Hostile::kSameHomeSlot, 2'000, 500},
    {"consecutive-pvts", Hostile::kConsecutivePvts, 20'000, 500},
};

// Two texts as the two-part targets split them: the first as
// FuzzedDataProvider::ConsumeRandomLengthString reads it (a backslash
// doubled, ended by a backslash and one more byte), the second as it is.
kv::test::Bytes TwoParts(const std::string& first, const std::string& second) {
  std::string input;
  for (const char c : first) {
    input += c;
    if (c == '\\') input += c;
  }
  input += "\\\n";
  input += second;
  return kv::test::Bytes(input.begin(), input.end());
}

struct TextSeed {
  const char* name;
  std::string first;
  std::string second;
};

// Mask lists (then a file name), and patterns with texts for the matcher.
const TextSeed kMaskSeeds[] = {
    {"default-masks", "*.*;!*.GIF;!*.ICO;!*.JAVA;!*.CLASS;!*.JAR;!*.BMP", "setup.exe"},
    {"excluded-name", "*.*;!*.GIF;!*.ICO;!*.JAVA;!*.CLASS;!*.JAR;!*.BMP", "Photo.Gif"},
    {"programs-only", "*.EXE;*.COM;*.DLL;!*SETUP*", "INSTALL.EXE"},
    {"question-marks", "??????.???;;!", "REPORT.DOC"},
    {"empty-masks", "", "any name"},
    {"stars-retried", "*A*A*A*A*A*B", std::string(200, 'a')},
};

// Exclusion list paths (then the file's content).
const TextSeed kExclusionSeeds[] = {
    {"folder-entry", "/data/home/user/Documents/secret/plan.txt",
     "/data/home/user/Documents\n/tmp|a comment\r\n\n/var/log/\n"},
    {"file-entry", "/etc/hosts", "/etc/hosts\n/etc/host\n"},
    {"quarantine", "/srv/QUARANTINE/x", "\n\n"},
    {"restore-case", "/srv/_restore/file", "/SRV\r\n"},
    {"root-entry", "/anything/at/all", "/\n"},
    {"overlong-line", "/a", std::string(300, 'a') + "\n/a\n" + std::string(259, 'b') + "\n"},
    {"nul-in-line", "/bin/sh", std::string("/bin\0/ignored\n", 14)},
    {"no-line-end", "/opt/tool/bin", "/opt/tool"},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fuzz_seeds FOLDER\n");
    return 2;
  }
  const fs::path folder = argv[1];
  for (const char* target : {"fuzz_block_decoder", "fuzz_data_file", "fuzz_record_tables",
                             "fuzz_file_masks", "fuzz_exclusions"}) {
    fs::create_directories(folder / target);
  }
  for (const Seed& seed : kSeeds) {
    const kv::test::Bytes block = kv::compressor::CompressBlock(
        kv::test::SignaturePayload(kv::test::HostileSignatures(seed.kind, seed.file_records)));
    kv::test::WriteFileBytes(folder / "fuzz_block_decoder" / (std::string(seed.name) + ".jc"),
                             block);
    kv::test::WriteFileBytes(folder / "fuzz_data_file" / (std::string(seed.name) + ".dat"),
                             kv::datwriter::MakeContainer(block, seed.file_records));

    // The record-table target reads a 32-bit record count, then the payload.
    kv::test::Bytes input(4);
    kv::StoreLe32(input.data(), seed.payload_records);
    const kv::test::Bytes payload =
        kv::test::SignaturePayload(kv::test::HostileSignatures(seed.kind, seed.payload_records));
    input.insert(input.end(), payload.begin(), payload.end());
    kv::test::WriteFileBytes(folder / "fuzz_record_tables" / (std::string(seed.name) + ".bin"),
                             input);
  }
  for (const TextSeed& seed : kMaskSeeds) {
    kv::test::WriteFileBytes(folder / "fuzz_file_masks" / (std::string(seed.name) + ".txt"),
                             TwoParts(seed.first, seed.second));
  }
  for (const TextSeed& seed : kExclusionSeeds) {
    kv::test::WriteFileBytes(folder / "fuzz_exclusions" / (std::string(seed.name) + ".txt"),
                             TwoParts(seed.first, seed.second));
  }
  return 0;
}
