// Decoder for the compressed block that carries a data file's payload.
//
// A block is a 10-byte header ("JC", the uncompressed size, a checksum of the
// expanded bytes) followed by an LZ77 bit stream; docs/block-format.md
// describes it. The decoder is pure computation over caller-owned buffers and
// never reads or writes outside the spans it is given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "common/block_format.h"

namespace kv {

// The declared uncompressed size, or 0 when the block is shorter than its
// size field or does not start with the magic.
uint32_t GetUncompressedSize(std::span<const uint8_t> block);

// Expands `block` into `output`, which must hold the declared size. Returns
// the number of bytes written, or 0 when the block is corrupt: wrong magic,
// a stream that runs past the block's end, writes more or fewer bytes than
// declared, copies from offset 0 or from before the output's start, sets an
// unusable offset width, or fails its checksum.
size_t DecompressBlock(std::span<const uint8_t> block, std::span<uint8_t> output);

}  // namespace kv
