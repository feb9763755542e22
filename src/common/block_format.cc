// The block checksum, computed alike by the decoder and the compressor.
#include "common/block_format.h"

#include "common/byte_order.h"

namespace kv {

uint32_t BlockChecksum(std::span<const uint8_t> data) {
  uint32_t sum = 0;
  const size_t size = data.size();
  if (size < 4) return 0;
  auto mix = [&sum](uint32_t word) {
    sum += word;
    sum ^= ((word << 1) | (word >> 31)) + 1u;
  };
  size_t offset = 0;
  for (; size - offset >= 4; offset += 4) mix(LoadLe32(data.data() + offset));
  if (offset != size) mix(LoadLe32(data.data() + size - 4));
  return sum;
}

}  // namespace kv
