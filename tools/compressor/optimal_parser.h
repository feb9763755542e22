// Price-based optimal parsing: the cheapest sequence of codes for an input,
// given the literal mode and offset width planned for each region.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "match_finder.h"

namespace kv::compressor {

enum class Code : uint8_t {
  kLiteral,
  kZeroByte,
  kOneByteCopy,
  kShortMatch,
  kRepeatMatch,
  kLongMatch,
  kRawRun,
};

// One code of the parse; it covers `length` bytes from where the previous
// one ended. `offset` is the copy distance for the copying codes.
struct Token {
  Code code;
  uint32_t length;
  uint32_t offset;
};

// Literal mode of a region: 8-bit literals, or 7-bit ones added to a bias.
struct LiteralMode {
  bool wide = true;
  uint8_t bias = 0;
  bool operator==(const LiteralMode&) const = default;
};

// Per-region settings that the parser prices and the writer follows. Region
// r covers the input bytes [r << region_shift, (r + 1) << region_shift).
struct RegionPlan {
  unsigned region_shift = 12;
  std::vector<LiteralMode> literal_modes;
  std::vector<uint8_t> offset_widths;

  LiteralMode LiteralModeAt(uint32_t position) const {
    return literal_modes[position >> region_shift];
  }
  uint32_t OffsetWidthAt(uint32_t position) const {
    return offset_widths[position >> region_shift];
  }
};

// Bits a literal of `byte` costs under `mode`, escapes included.
uint32_t LiteralBits(LiteralMode mode, uint8_t byte);

// Working memory of the parse, one node per position, kept between passes.
struct ParseNode {
  uint32_t cost;
  uint32_t last_offset;  // on the cheapest path to here
  uint32_t length;       // of the code that arrives here
  uint32_t offset;
  Code code;
};

// Parses the stretch that `matches` was last filled for, which must have been
// built over `input` with the same nice length, starting with `last_offset`.
// Appends the stretch's tokens and returns the last offset at its end.
uint32_t ParseOptimal(std::span<const uint8_t> input, const StretchMatches& matches,
                      const RegionPlan& plan, uint32_t nice_length, uint32_t last_offset,
                      std::vector<ParseNode>* nodes, std::vector<Token>* tokens);

}  // namespace kv::compressor
