// Table-driven CRC-32, eight bytes per step (slicing-by-8) with a byte-wise
// tail.
#include "common/crc32.h"

#include <array>

#include "common/byte_order.h"

namespace kv {
namespace {

using Crc32Tables = std::array<std::array<uint32_t, 256>, 8>;

// tables[0] is the classic byte table; tables[k][i] is the state after
// feeding byte i followed by k zero bytes.
constexpr Crc32Tables MakeCrc32Tables() {
  Crc32Tables tables{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t value = i;
    for (int bit = 0; bit < 8; ++bit) {
      value = (value & 1u) ? (value >> 1) ^ 0xEDB88320u : value >> 1;
    }
    tables[0][i] = value;
  }
  for (size_t k = 1; k < 8; ++k) {
    for (uint32_t i = 0; i < 256; ++i) {
      const uint32_t before = tables[k - 1][i];
      tables[k][i] = tables[0][before & 0xFFu] ^ (before >> 8);
    }
  }
  return tables;
}

constexpr Crc32Tables kCrc32Tables = MakeCrc32Tables();

}  // namespace

uint32_t Crc32Update(uint32_t state, const void* data, size_t length) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  const auto& t = kCrc32Tables;
  for (; length >= 8; length -= 8, bytes += 8) {
    const uint32_t low = LoadLe32(bytes) ^ state;
    const uint32_t high = LoadLe32(bytes + 4);
    state = t[7][low & 0xFFu] ^ t[6][(low >> 8) & 0xFFu] ^ t[5][(low >> 16) & 0xFFu] ^
            t[4][low >> 24] ^ t[3][high & 0xFFu] ^ t[2][(high >> 8) & 0xFFu] ^
            t[1][(high >> 16) & 0xFFu] ^ t[0][high >> 24];
  }
  for (; length > 0; --length, ++bytes) {
    state = t[0][(state ^ *bytes) & 0xFFu] ^ (state >> 8);
  }
  return state;
}

}  // namespace kv
