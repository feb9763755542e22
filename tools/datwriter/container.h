// Writing the data-file container: the 512-byte header around a scrambled
// block, with the check word computed last over the stored body.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace kv::datwriter {

// Scrambles a block for storage: the inverse of the reader's descrambling.
std::vector<uint8_t> ScrambleBlock(std::span<const uint8_t> block);

// A whole data file around an already compressed block.
std::vector<uint8_t> MakeContainer(std::span<const uint8_t> block, uint32_t record_count);

// Header fields as a reader sees them, for dumps.
struct ContainerHeader {
  uint32_t check_word = 0;
  uint32_t expected_check_word = 0;  // computed from the body as stored
  uint32_t date_low = 0;
  uint32_t date_high = 0;
  int32_t record_count = 0;
  uint64_t body_size = 0;
};
// False when the image is too short for a header.
bool ReadContainerHeader(std::span<const uint8_t> image, ContainerHeader* header);

}  // namespace kv::datwriter
