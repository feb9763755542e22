// The central directory of a ZIP archive, read once and kept in memory: each
// member's sizes, CRC, method and name, and an index of the names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "reader/byte_source.h"
#include "reader/limits.h"
#include "reader/name_index.h"
#include "reader/zip_status.h"

namespace kv::zip {

struct Member {
  uint64_t local_header_offset = 0;
  // The member's bytes (local header and data) must end by here: the next
  // member's local header, or the start of the central directory. Keeps the
  // members' data apart, so one stretch of bytes is never inflated twice.
  uint64_t extent_end = 0;
  uint64_t compressed_size = 0;
  uint64_t uncompressed_size = 0;
  uint32_t crc32 = 0;
  uint16_t method = 0;
  uint16_t flags = 0;
  uint16_t dos_time = 0;
  uint16_t dos_date = 0;
  // Another member listed earlier starts at the same local header.
  bool shares_local_header = false;

  size_t name_offset = 0;  // into the directory's name storage
  uint16_t name_length = 0;

  bool encrypted() const { return (flags & 0x0001) != 0; }
  bool has_data_descriptor() const { return (flags & 0x0008) != 0; }
};

// Compression methods the reader can extract.
inline constexpr uint16_t kMethodStored = 0;
inline constexpr uint16_t kMethodDeflated = 8;

class Directory {
 public:
  Directory(const Directory&) = delete;
  Directory& operator=(const Directory&) = delete;

  // Reads the central directory of the archive in `source`. On failure
  // `out` is left empty and the status says why.
  static ZipStatus Read(ByteSource& source, const Limits& limits, std::unique_ptr<Directory>* out);

  size_t size() const { return members_.size(); }
  const Member& member(size_t index) const { return members_[index]; }
  // The name exactly as stored: bytes, no conversion.
  std::string_view name(size_t index) const;
  // A name ending in '/' (or '\') marks a folder entry.
  bool IsFolder(size_t index) const;
  uint16_t comment_length() const { return comment_length_; }

  // The first member named `name`: exact match first, else ignoring ASCII
  // case when `fold_case` is set.
  std::optional<uint32_t> Find(std::string_view name, bool fold_case = true) const;

 private:
  Directory() = default;
  ZipStatus ParseEntries(const std::vector<uint8_t>& bytes, uint64_t entry_count,
                         uint64_t base_offset);
  void MarkExtents(uint64_t directory_start);
  void BuildIndexes();

  std::vector<Member> members_;
  std::string names_;
  uint16_t comment_length_ = 0;
  NameIndex exact_;
  NameIndex folded_;
};

}  // namespace kv::zip
