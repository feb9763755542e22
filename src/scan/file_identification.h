// Identifying a file the walk has open: the ZIP test on its first bytes and
// the fingerprint lookup, size-first or not, reading the head at most once.
#pragma once

#include <array>
#include <cstdint>

#include "common/head_crc.h"
#include "database/pest_database.h"
#include "platform/files.h"
#include "scan/fingerprint.h"

namespace kv {

// The head of an open file, read from its start on demand: two bytes for
// the ZIP test, the rest of the PVT's head only when a fingerprint is
// needed. Lookups match the PVT alone, so nothing past it is read. A caller
// that will want the fingerprint anyway says so with `whole_head`: the
// first read then takes the whole head, one read instead of two.
class FileHead {
 public:
  FileHead(platform::InputFile& file, uint64_t size, bool whole_head = false)
      : file_(file), size_(size), whole_head_(whole_head) {}

  // True when the file starts with "PK", a ZIP local header's first bytes.
  bool StartsLikeZip();
  // The head CRC (the PVT a signature matches); kNoFingerprint for an empty
  // file or one of 4 GiB or more. Bytes a short read leaves out count as
  // zeros.
  uint32_t HeadCrc();

 private:
  void ReadTo(size_t length);

  platform::InputFile& file_;
  uint64_t size_;
  bool whole_head_;
  std::array<uint8_t, kHeadCrcLength> bytes_{};
  size_t asked_ = 0;
};

// How signatures are picked for a file of a given size.
enum class SizeSelection {
  kExactSizeOnly,  // only signatures of exactly the size; no read without one
  kAnySize,        // any signature, by fingerprint alone
};

// A new detection record named `file_name` for the file whose head is
// `head`, or null. With kExactSizeOnly the head is read only when some
// signature has exactly `size` bytes. No hold on the table lasts over the
// read: the table is held to look for candidates, let go, and held again to
// match and copy, so a reload in between is simply seen by the second look.
_PEST_INFORMATION* IdentifyFile(FileHead& head, uint64_t size, SizeSelection selection,
                                PestDatabase& database, const char* file_name);

// True when some signature is of exactly `size` bytes.
bool HasSignatureOfSize(PestDatabase& database, uint32_t size);

// 1 when a signature of `size` bytes has `pest_id`: the record's bSizeMatch.
int32_t SizeMatches(PestDatabase::Reader& reader, uint32_t size, uint32_t pest_id);

}  // namespace kv
