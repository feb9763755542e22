// Block compressor: turns any byte string into one block ("JC" header and bit
// stream) that the engine's block decoder expands back. Used by kvdat and the
// tests; the engine itself never compresses.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace kv::compressor {

inline constexpr int kFastestLevel = 1;
inline constexpr int kDefaultLevel = 6;
inline constexpr int kBestLevel = 9;

struct CompressOptions {
  // 1 (fastest) to 9 (smallest); values outside are clamped.
  int level = kDefaultLevel;
  // Store the checksum of the input in the header. Off writes 0, which makes
  // the decoder skip its check.
  bool checksum = true;
};

// The whole block: 10-byte header, then the stream in 32-bit little-endian
// words. Throws std::length_error for inputs of 4 GiB or more (the header's
// size field is 32 bits).
std::vector<uint8_t> CompressBlock(std::span<const uint8_t> input,
                                   const CompressOptions& options = {});

}  // namespace kv::compressor
