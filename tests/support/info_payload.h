// Test builder of KVINFO.DAT payload records: id, five string offsets (the
// third and fourth crossed, as the file format has them), string area.
#pragma once

#include <array>
#include <string>

#include "common/byte_order.h"
#include "support/test_files.h"

namespace kv::test {

// Appends one record holding texts 1 to 5; the string at the fifth offset
// is the last of the record.
inline void AppendInfoRecord(Bytes& payload, uint32_t id, const std::array<std::string, 5>& texts) {
  // Area order: text 1, text 2, text 4, text 3, text 5.
  const std::array<size_t, 5> area_order = {0, 1, 3, 2, 4};
  std::string area;
  std::array<uint32_t, 5> offset_of_text{};
  for (size_t text : area_order) {
    offset_of_text[text] = static_cast<uint32_t>(area.size());
    area += texts[text];
    area += '\0';
  }
  // File offsets 1..5 designate texts 1, 2, 4, 3, 5.
  const std::array<uint32_t, 5> offsets = {offset_of_text[0], offset_of_text[1], offset_of_text[3],
                                           offset_of_text[2], offset_of_text[4]};
  uint8_t head[24];
  StoreLe32(head, id);
  for (size_t i = 0; i < 5; ++i) StoreLe32(head + 4 + 4 * i, offsets[i]);
  payload.insert(payload.end(), head, head + 24);
  payload.insert(payload.end(), area.begin(), area.end());
}

}  // namespace kv::test
