// A small ZIP writer for the tests and the benchmark: well-formed archives
// (stored or deflated, data descriptors, encryption, ZIP64 fields) and the
// deliberate faults that hostile archives carry.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kv::test {

using ZipBytes = std::vector<uint8_t>;

struct ZipMemberLayout {
  enum class Descriptor { kNone, kWithSignature, kWithoutSignature };

  std::string name;
  ZipBytes content;
  uint16_t method = 8;  // 0 stored, 8 deflated; any other value is written as is, stored
  Descriptor descriptor = Descriptor::kNone;
  std::string password;  // non-empty: traditional encryption
  bool zip64 = false;    // central sizes and offset saturated, real values in a ZIP64 extra
  // Faults: what the headers claim instead of the truth.
  std::optional<std::string> local_name;
  std::optional<uint64_t> declared_size;
  std::optional<uint64_t> declared_compressed_size;
  std::optional<uint32_t> declared_crc;
  std::optional<uint64_t> declared_offset;  // of the local header, in the central header
};

struct ZipArchiveLayout {
  std::vector<ZipMemberLayout> members;
  std::string comment;
  bool zip64_end = false;  // ZIP64 end record and locator, 32-bit fields saturated
  ZipBytes prefix;         // bytes before the archive; offsets not adjusted
  std::optional<uint64_t> declared_entry_count;
  std::optional<uint64_t> declared_directory_offset;
  std::optional<uint64_t> declared_directory_size;
};

struct ZipArchive {
  ZipBytes bytes;
  std::vector<uint64_t> local_offsets;  // of each member's local header
  uint64_t directory_offset = 0;
  uint64_t end_offset = 0;  // of the (32-bit) end record
  // Every offset where a record or a field group starts: for cutting there.
  std::vector<uint64_t> boundaries;
};

ZipArchive BuildZip(const ZipArchiveLayout& layout);

// Raw deflate of `bytes` at the default level.
ZipBytes Deflate(const ZipBytes& bytes);

ZipBytes BytesOf(const std::string& text);

}  // namespace kv::test
