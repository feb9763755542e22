// Builders of KVFILE.DAT payloads and files from signature records, for the
// database tests and the benchmark.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/test_files.h"

namespace kv::test {

struct SignatureRecord {
  uint32_t pest_id = 0;
  uint32_t pvt = 0;
  uint32_t file_size = 0;
  std::string name;
  uint32_t alt_key = 0;
  uint32_t extra1 = 0;
  uint32_t extra2 = 0;
  uint32_t gap_length = 0;  // opaque bytes between the head and the name
};

// The records back to back: six words, an unread word, the gap length, the
// gap bytes, the name and its NUL.
Bytes SignaturePayload(const std::vector<SignatureRecord>& records);

// A whole KVFILE.DAT (literal block in the container) holding `records`; the
// header's record count is records.size() unless `declared_count` is given.
Bytes SignatureFile(const std::vector<SignatureRecord>& records,
                    std::optional<int32_t> declared_count = std::nullopt);

// n records built against the PVT index: pest 1, "Pest", 200 bytes.
// kEqualPvts: all identical, one PVT (a file of them compresses to a few
// hundred bytes). kSameHomeSlot: PVTs congruent to 5 modulo 2n + 1 (the
// index's slot count), so that all fall in one home slot; distinct as far
// as 32 bits allow, then repeating.
enum class Hostile { kEqualPvts, kSameHomeSlot };
std::vector<SignatureRecord> HostileSignatures(Hostile kind, uint32_t n);

}  // namespace kv::test
