// Bounds on the work and memory one archive can cost the reader.
#pragma once

#include <cstdint>

namespace kv::zip {

struct Limits {
  // An archive declaring more members is refused whole.
  uint32_t max_members = 100'000;
  // A central directory larger than this is refused whole (it is read into
  // memory at once).
  uint64_t max_directory_bytes = 64ull << 20;
  // One extraction call stops, failing, once it has inflated this many bytes.
  uint64_t max_inflated_bytes = 1ull << 30;
};

}  // namespace kv::zip
