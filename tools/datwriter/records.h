// The records inside a data file's payload: signatures (KVFILE.DAT) and pest
// information (KVINFO.DAT), with writers and bounds-checked readers.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kv::datwriter {

struct SignatureRecord {
  uint32_t pest_id = 0;
  uint32_t pvt = 0;  // CRC-32 of the first 2047 bytes, or its complement
  uint32_t extra1 = 0;
  uint32_t extra2 = 0;
  uint32_t alt_key = 0;
  uint32_t file_size = 0;
  uint32_t unread = 0;       // the head's seventh word; readers skip it
  std::vector<uint8_t> gap;  // opaque bytes between the head and the name
  std::string name;          // without its NUL
  bool operator==(const SignatureRecord&) const = default;
};

inline constexpr size_t kSignatureHeadSize = 32;
inline constexpr size_t kPestTextCount = 5;

struct PestInfoRecord {
  uint32_t pest_id = 0;
  // The pest's five texts in the engine's order (text 1 to text 5); an empty
  // one is a text the pest does not have.
  std::array<std::string, kPestTextCount> texts;
  bool operator==(const PestInfoRecord&) const = default;
};

inline constexpr size_t kPestInfoHeadSize = 24;

// Appends one record to a payload. Names and texts must not contain NUL.
void AppendSignatureRecord(const SignatureRecord& record, std::vector<uint8_t>* payload);
void AppendPestInfoRecord(const PestInfoRecord& record, std::vector<uint8_t>* payload);

// Reorders signatures by ascending file size, keeping the given order among
// equal sizes (that order decides which record a shared PVT finds first).
void SortBySize(std::vector<SignatureRecord>* records);

// Reads `count` records that must fill the payload exactly; nullopt and a
// message in `error` when a record runs past the end, a name or text lacks
// its NUL, or bytes are left over.
std::optional<std::vector<SignatureRecord>> ReadSignatureRecords(std::span<const uint8_t> payload,
                                                                 size_t count, std::string* error);
std::optional<std::vector<PestInfoRecord>> ReadPestInfoRecords(std::span<const uint8_t> payload,
                                                               size_t count, std::string* error);

}  // namespace kv::datwriter
