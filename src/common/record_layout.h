// The records inside the two data files' decoded payloads, as the engine's
// tables read them and the tools write them. docs/data-file-format.md shows
// the bytes.
//
// KVFILE.DAT holds signatures: a 32-byte head of eight little-endian words
// (pest id, PVT, extra 1, extra 2, alternate key, file size, a word no one
// reads, the gap length L), L opaque bytes, then the NUL-terminated name.
//
// KVINFO.DAT holds one record per pest: a 24-byte head (the pest id, then
// five string offsets counted from the end of the head), then the strings.
// The third offset designates text 4 and the fourth text 3. The string at
// the fifth offset (text 5) ends the record: the next one follows its NUL.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "common/byte_order.h"

namespace kv {

inline constexpr size_t kSignatureHeadSize = 32;
// A head and an empty name.
inline constexpr size_t kMinSignatureRecordSize = kSignatureHeadSize + 1;

struct SignatureHead {
  uint32_t pest_id = 0;
  uint32_t pvt = 0;
  uint32_t extra1 = 0;
  uint32_t extra2 = 0;
  uint32_t alt_key = 0;
  uint32_t file_size = 0;
  uint32_t unread = 0;
  uint32_t gap_length = 0;
};

// REQUIRES: kSignatureHeadSize bytes at `bytes`.
inline SignatureHead ReadSignatureHead(const uint8_t* bytes) {
  return {LoadLe32(bytes),      LoadLe32(bytes + 4),  LoadLe32(bytes + 8),  LoadLe32(bytes + 12),
          LoadLe32(bytes + 16), LoadLe32(bytes + 20), LoadLe32(bytes + 24), LoadLe32(bytes + 28)};
}

inline void WriteSignatureHead(const SignatureHead& head, uint8_t* bytes) {
  const uint32_t words[8] = {head.pest_id, head.pvt,       head.extra1, head.extra2,
                             head.alt_key, head.file_size, head.unread, head.gap_length};
  for (size_t i = 0; i < 8; ++i) StoreLe32(bytes + 4 * i, words[i]);
}

inline constexpr size_t kPestTextCount = 5;
inline constexpr size_t kPestInfoHeadSize = 24;
// A head and one empty string that all five offsets designate.
inline constexpr size_t kMinPestInfoRecordSize = kPestInfoHeadSize + 1;

// The text (0 for text 1, ..., 4 for text 5) that each of the head's five
// offsets designates, in the head's order.
inline constexpr std::array<size_t, kPestTextCount> kTextOfOffset = {0, 1, 3, 2, 4};
// The text whose string ends a record: the one at the fifth offset.
inline constexpr size_t kLastTextOfRecord = kTextOfOffset[kPestTextCount - 1];

struct PestInfoHead {
  uint32_t pest_id = 0;
  // Where each text's string starts in the string area, by text (text 1
  // first), the head's crossing undone.
  std::array<uint32_t, kPestTextCount> text_offsets{};
};

// REQUIRES: kPestInfoHeadSize bytes at `bytes`.
inline PestInfoHead ReadPestInfoHead(const uint8_t* bytes) {
  PestInfoHead head;
  head.pest_id = LoadLe32(bytes);
  for (size_t slot = 0; slot < kPestTextCount; ++slot) {
    head.text_offsets[kTextOfOffset[slot]] = LoadLe32(bytes + 4 + 4 * slot);
  }
  return head;
}

inline void WritePestInfoHead(const PestInfoHead& head, uint8_t* bytes) {
  StoreLe32(bytes, head.pest_id);
  for (size_t slot = 0; slot < kPestTextCount; ++slot) {
    StoreLe32(bytes + 4 + 4 * slot, head.text_offsets[kTextOfOffset[slot]]);
  }
}

}  // namespace kv
