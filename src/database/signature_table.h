// One loaded signature table: the records of KVFILE.DAT in file order (which
// is ascending file size), their names, and the PVT index over them. A table
// never changes once built; a reload builds a new one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "common/record_layout.h"
#include "common/status.h"
#include "database/pvt_index.h"
#include "kvserver.h"

namespace kv {

// A fingerprint that could not be computed; it never matches.
inline bool IsComputed(uint32_t value) { return value != 0 && value != 0xFFFFFFFFu; }

class SignatureTable {
 public:
  // Builds a table from a decoded KVFILE.DAT payload whose header declares
  // `declared_count` records. The count is first bounded by what the payload
  // can hold (negative counts as 0); the index gets 2n + 1 slots for that n.
  // The walk stops early at a record whose head or name would run past the
  // payload's end, keeping the records taken before it. Throws
  // std::bad_alloc when memory runs out.
  static std::unique_ptr<SignatureTable> Build(std::span<const uint8_t> payload,
                                               int32_t declared_count);

  // The empty table: no records and no index.
  SignatureTable() = default;

  int32_t count() const { return static_cast<int32_t>(count_); }
  const _PEST_SIGNATURE& at(size_t index) const { return records_[index]; }
  uint32_t max_file_size() const { return max_file_size_; }
  const PvtIndex& pvt_index() const { return index_; }

  // Exact PVT lookup; null for 0, 0xFFFFFFFF or an empty table. Of several
  // signatures with the PVT the first in the file is found.
  const _PEST_SIGNATURE* LookupPVT(uint32_t pvt) const;

  // The scanners' lookup. With a computed pvt and neither c nor d computed:
  // LookupPVT(pvt), else LookupPVT(~pvt). Otherwise the first record whose
  // PVT is pvt or ~pvt (pvt computed) or whose alternate key is d (d
  // computed). `second` is never consulted; c only selects the linear path.
  const _PEST_SIGNATURE* FindPest(uint32_t pvt, uint32_t second, uint32_t c, uint32_t d) const;

  // First record whose name equals `name` with ASCII letters folded; null
  // for a null name.
  const _PEST_SIGNATURE* FindPestByName(const char* name) const;

  // Where a size cursor for `size` starts: binary search over the sizes,
  // then back over equal sizes before the hit. The cursor then moves forward
  // past smaller sizes (see PestDatabase::NextWithSize).
  size_t SizeSearchStart(uint32_t size) const;

 private:
  std::unique_ptr<_PEST_SIGNATURE[]> records_;
  std::unique_ptr<char[]> names_;  // every name with its NUL, back to back
  size_t count_ = 0;
  uint32_t max_file_size_ = 0;
  PvtIndex index_;
};

}  // namespace kv
