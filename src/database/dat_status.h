// Result codes of reading a data file, with the values hosts see.
#pragma once

#include <cstdint>

namespace kv {

enum class DatStatus : int32_t {
  kOk = 0,
  kCannotOpen = 2,
  kCorrupt = 3,
  kWrongFormatDate = 4,
  kOutOfMemory = 5,
  kWrongMagic = 6,
};

inline int32_t ToInt(DatStatus status) { return static_cast<int32_t>(status); }

// A short English description of a status, for tools.
const char* DescribeDatStatus(int32_t status);

}  // namespace kv
