// The records inside a data file's payload: signatures (KVFILE.DAT) and pest
// information (KVINFO.DAT), with writers and bounds-checked readers.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/record_layout.h"

namespace kv::datwriter {

struct SignatureRecord {
  uint32_t pest_id = 0;
  uint32_t pvt = 0;  // HeadCrc of the pest's file, or its complement
  uint32_t extra1 = 0;
  uint32_t extra2 = 0;
  uint32_t alt_key = 0;
  uint32_t file_size = 0;
  uint32_t unread = 0;       // the head's seventh word; readers skip it
  std::vector<uint8_t> gap;  // opaque bytes between the head and the name
  std::string name;          // without its NUL
  bool operator==(const SignatureRecord&) const = default;
};

// One KVINFO.DAT record as the tools write and read it.
struct InfoRecord {
  uint32_t pest_id = 0;
  // The pest's five texts in the engine's order (text 1 to text 5); an empty
  // one is a text the pest does not have.
  std::array<std::string, kPestTextCount> texts;
  bool operator==(const InfoRecord&) const = default;
};

// Appends one record to a payload. Names and texts must not contain NUL.
void AppendSignatureRecord(const SignatureRecord& record, std::vector<uint8_t>* payload);
void AppendInfoRecord(const InfoRecord& record, std::vector<uint8_t>* payload);

// Reorders signatures by ascending file size, keeping the given order among
// equal sizes (that order decides which record a shared PVT finds first).
void SortBySize(std::vector<SignatureRecord>* records);

// Reads `count` records that must fill the payload exactly; nullopt and a
// message in `error` when a record runs past the end, a name or text lacks
// its NUL, or bytes are left over.
std::optional<std::vector<SignatureRecord>> ReadSignatureRecords(std::span<const uint8_t> payload,
                                                                 size_t count, std::string* error);
std::optional<std::vector<InfoRecord>> ReadInfoRecords(std::span<const uint8_t> payload,
                                                       size_t count, std::string* error);

}  // namespace kv::datwriter
