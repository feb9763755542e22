// Writes seed inputs for the fuzz targets: signature data built against the
// PVT index (see test::HostileSignatures), as whole data files, as their
// compressed blocks, and as count-and-payload inputs; mask lists with file
// names, and exclusion lists with paths; ZIP archives, nested ones and
// hostile ones, holding the pests of the archive-scan target's table.
// Usage: make_fuzz_seeds FOLDER (one subfolder per target is created, and
// "archives" for the targets that read ZIP files).
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "archive_scan_pests.h"
#include "block_compressor.h"
#include "common/byte_order.h"
#include "container.h"
#include "support/signature_file.h"
#include "support/test_files.h"
#include "unzip32/zip_writer.h"

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

using kv::test::ZipArchiveLayout;
using kv::test::ZipBytes;
using kv::test::ZipMemberLayout;

ZipBytes Zip(std::vector<ZipMemberLayout> members) {
  ZipArchiveLayout layout;
  layout.members = std::move(members);
  return kv::test::BuildZip(layout).bytes;
}

ZipBytes Pest(size_t which) { return kv::fuzz::FuzzPestContent(kv::fuzz::kFuzzPests[which]); }

ZipBytes Text(const std::string& text) { return ZipBytes(text.begin(), text.end()); }

struct ArchiveSeed {
  std::string name;
  ZipBytes bytes;
};

// Archives the test ZIP writer makes: each feature of the format the
// reader handles, the faults hostile archives carry, and nesting.
std::vector<ArchiveSeed> ArchiveSeeds() {
  std::vector<ArchiveSeed> seeds;
  seeds.push_back({"pests", Zip({{.name = "short.com", .content = Pest(0), .method = 0},
                                 {.name = "head.exe", .content = Pest(1)},
                                 {.name = "long.dll", .content = Pest(2)},
                                 {.name = "readme.txt", .content = Text("nothing to see")},
                                 {.name = "masked.gif", .content = Pest(2)},
                                 {.name = "empty", .content = {}},
                                 {.name = "folder/", .content = {}, .method = 0}})});

  const ZipBytes inner = Zip({{.name = "x.exe", .content = Pest(2)}});
  seeds.push_back({"nested", Zip({{.name = "inner.zip", .content = inner},
                                  {.name = "renamed.dat", .content = inner, .method = 0},
                                  {.name = "not.zip.txt", .content = Text("PK but no archive")},
                                  {.name = "after.exe", .content = Pest(0)}})});
  ZipBytes chain = inner;
  for (int level = 2; level <= 8; ++level) {
    chain = Zip({{.name = "level" + std::to_string(level) + ".zip", .content = chain}});
  }
  seeds.push_back({"chain", chain});
  ZipBytes wide = inner;
  for (int level = 0; level < 3; ++level) {
    std::vector<ZipMemberLayout> copies;
    for (int i = 0; i < 6; ++i) {
      copies.push_back({.name = std::to_string(i) + ".zip", .content = wide, .method = 0});
    }
    wide = Zip(std::move(copies));
  }
  seeds.push_back({"fan-out", wide});

  // Names: climbing, absolute, twins in two cases, a device, long ones that
  // overflow a report once nested.
  const std::string long_name = std::string(1500, 'n') + ".zip";
  ZipBytes long_chain = Zip({{.name = std::string(1500, 'm') + ".exe", .content = Pest(1)}});
  for (int level = 0; level < 2; ++level) {
    long_chain = Zip({{.name = long_name, .content = long_chain}});
  }
  seeds.push_back({"names", Zip({{.name = "../../escape.exe", .content = Pest(0)},
                                 {.name = "/absolute.exe", .content = Pest(0)},
                                 {.name = "dir\\back.exe", .content = Pest(0)},
                                 {.name = "a.exe", .content = Text("first")},
                                 {.name = "A.EXE", .content = Pest(1)},
                                 {.name = "a.exe", .content = Pest(2)},
                                 {.name = "CON", .content = Text("device")},
                                 {.name = "deep.zip", .content = long_chain}})});

  // Data descriptors, ZIP64 fields, encryption, an unknown method.
  seeds.push_back(
      {"features", Zip({{.name = "signed.exe",
                         .content = Pest(2),
                         .descriptor = ZipMemberLayout::Descriptor::kWithSignature},
                        {.name = "unsigned.exe",
                         .content = Pest(1),
                         .method = 0,
                         .descriptor = ZipMemberLayout::Descriptor::kWithoutSignature},
                        {.name = "wide.exe", .content = Pest(0), .zip64 = true},
                        {.name = "locked.exe", .content = Pest(2), .password = "secret"},
                        {.name = "bzip.exe", .content = Pest(0), .method = 12}})});
  ZipArchiveLayout zip64;
  zip64.members = {{.name = "x.exe", .content = Pest(2), .zip64 = true}};
  zip64.zip64_end = true;
  zip64.comment = "a comment";
  zip64.prefix = Text("#!/bin/sh\nexit 0\n");
  seeds.push_back({"zip64-end", kv::test::BuildZip(zip64).bytes});

  // Faults: sizes and CRCs that lie, two entries on one local header, a
  // local name that differs from the central one.
  seeds.push_back(
      {"lies",
       Zip({{.name = "big.exe", .content = Pest(2), .declared_size = 1500},
            {.name = "small.exe", .content = Pest(1), .declared_size = 9000},
            {.name = "crc.exe", .content = Pest(0), .declared_crc = 1},
            {.name = "twin.exe", .content = Pest(0), .declared_offset = 0},
            {.name = "other.exe", .content = Pest(0), .local_name = std::string("local.exe")}})});
  ZipBytes bomb(1u << 20, 0);
  seeds.push_back(
      {"bomb", Zip({{.name = "zeros.zip", .content = Zip({{.name = "zeros.bin", .content = bomb}})},
                    {.name = "zeros.exe", .content = bomb}})});
  return seeds;
}

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
  fs::create_directories(folder / "archives");
  for (const ArchiveSeed& seed : ArchiveSeeds()) {
    kv::test::WriteFileBytes(folder / "archives" / (seed.name + ".zip"), seed.bytes);
  }
  return 0;
}
