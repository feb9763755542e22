// The two things the archive scanner asks of the unzip library: the list of
// an archive's members and one member's bytes in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "scan/unzip_library.h"

namespace kv {

// One member as the archive lists it.
struct ArchiveMember {
  std::string name;   // as stored, with the archive's own separators
  uint32_t size = 0;  // uncompressed, saturated at 0xFFFFFFFF
  // Its place in the central directory, when the library lists by index:
  // the one way to reach a member that shares its name with an earlier one.
  uint32_t index = 0;
  bool indexed = false;
};

// The bytes of one member, extracted into the library's memory and handed
// back to it when this goes.
class MemberBytes {
 public:
  MemberBytes() = default;
  MemberBytes(MemberBytes&& other) noexcept;
  MemberBytes& operator=(MemberBytes&& other) noexcept;
  MemberBytes(const MemberBytes&) = delete;
  MemberBytes& operator=(const MemberBytes&) = delete;
  ~MemberBytes();

  const uint8_t* data() const { return reinterpret_cast<const uint8_t*>(buffer_.data); }
  size_t size() const { return buffer_.data != nullptr ? buffer_.length : 0; }

 private:
  friend class ArchiveReader;
  void Release();

  Unzip32Buffer buffer_{0, nullptr};
  UnzipLibrary::FreeMemoryBufferFn free_ = nullptr;
};

// Lists and extracts through a ready unzip library. Stateless: one reader
// may serve any number of walks at once.
class ArchiveReader {
 public:
  explicit ArchiveReader(const UnzipLibrary& unzip) : unzip_(unzip) {}

  // The archive's members in its own order. False when the listing fails or
  // ends with a warning: nothing of such an archive is examined.
  bool List(const char* archive_path, std::vector<ArchiveMember>* members) const;

  // Extracts `member` into memory; false when it cannot be (damaged,
  // encrypted, over the library's bounds).
  bool Extract(const char* archive_path, const ArchiveMember& member, MemberBytes* bytes) const;

 private:
  const UnzipLibrary& unzip_;
};

}  // namespace kv
