// Writes seed inputs for the fuzz targets: signature data built against the
// PVT index (every PVT equal, or every PVT in one home slot), as whole data
// files, as their compressed blocks, and as count-and-payload inputs.
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
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fuzz_seeds FOLDER\n");
    return 2;
  }
  const fs::path folder = argv[1];
  for (const char* target : {"fuzz_block_decoder", "fuzz_data_file", "fuzz_record_tables"}) {
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
  return 0;
}
