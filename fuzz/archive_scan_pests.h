// The tiny signature table of the archive-scan fuzz target and the member
// contents it detects, shared with the seed writer so that seeded archives
// hold pests the table knows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/head_crc.h"

namespace kv::fuzz {

struct FuzzPest {
  uint32_t pest_id;
  uint32_t size;
  uint8_t seed;
  const char* name;
};

// Ascending sizes, as the data file requires: shorter than the head, the
// head exactly, and longer than it.
inline constexpr FuzzPest kFuzzPests[] = {
    {11, 68, 1, "Fuzz.Short"},
    {12, 2047, 2, "Fuzz.Head"},
    {13, 3000, 3, "Fuzz.Long"},
};

inline std::vector<uint8_t> FuzzPestContent(const FuzzPest& pest) {
  std::vector<uint8_t> bytes(pest.size);
  for (size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<uint8_t>(pest.seed * 29 + i * 13 + (i >> 8));
  }
  return bytes;
}

inline uint32_t FuzzPestPvt(const FuzzPest& pest) { return HeadCrc(FuzzPestContent(pest)); }

}  // namespace kv::fuzz
