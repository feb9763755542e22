// Fuzz target: the block decoder on arbitrary bytes. The output capacity is
// what the header declares, so any write or read past it shows up under the
// sanitizers.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "database/block_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> block(data, size);
  const uint32_t declared = kv::GetUncompressedSize(block);
  // Larger outputs only cost time: the decoder's bounds do not depend on it.
  if (declared > (1u << 22)) return 0;
  std::vector<uint8_t> output(declared);
  const size_t written = kv::DecompressBlock(block, output);
  if (written != 0 && written != declared) __builtin_trap();
  return 0;
}
