// The pest information table: five descriptive texts per pest, read from
// KVINFO.DAT, and the copies of its records handed to hosts.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/status.h"
#include "kvserver.h"

namespace kv {

struct PestInfoRecord {
  uint32_t pest_id = 0;
  std::array<std::string, 5> texts;  // texts 1 to 5; empty: the pest has none
};

class PestInfoTable {
 public:
  // Reads and decodes the file, then replaces the table; on failure (memory
  // running out included, as kOutOfMemory) the table is left as it was.
  Status Load(const char* path);

  // Replaces the table with the records of a decoded payload. The header's
  // count is clamped to what the payload could hold (25 bytes a record at
  // least); the walk stops at a record whose strings would run past the end.
  void Parse(std::span<const uint8_t> payload, int32_t record_count);

  void Clear() { records_.clear(); }

  // Null when the index is outside the table.
  const PestInfoRecord* At(int32_t index) const;
  // The first record in file order with this id, or null.
  const PestInfoRecord* ById(uint32_t pest_id) const;
  int32_t count() const { return static_cast<int32_t>(records_.size()); }

 private:
  std::vector<PestInfoRecord> records_;
};

// A new record for a host, every text a new string ("" for an absent one);
// released with FreeDetailedPestInformation. Throws std::bad_alloc when
// memory runs out, leaving nothing allocated.
_DETAILED_PEST_INFORMATION* CopyForHost(const PestInfoRecord& record);
void FreeDetailedPestInformation(_DETAILED_PEST_INFORMATION* record);

}  // namespace kv
