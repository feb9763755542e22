// Chooses, region by region, the literal mode and the offset width that make
// a parse cheapest, counting the codes that switch between them.
#pragma once

#include <cstdint>
#include <span>

#include "optimal_parser.h"

namespace kv::compressor {

// A first plan from the bytes alone: every byte is priced as a possible
// literal, offsets keep the starting width.
RegionPlan PlanFromBytes(std::span<const uint8_t> input, unsigned region_shift);

// A plan fitted to the literals and offsets that an earlier parse used.
RegionPlan PlanFromParse(std::span<const uint8_t> input, std::span<const Token> tokens,
                         unsigned region_shift);

// Refits the regions of [begin, end), which must start a region, to the
// tokens that an earlier parse of that stretch used.
void RefitPlan(std::span<const uint8_t> input, std::span<const Token> tokens, uint32_t begin,
               uint32_t end, RegionPlan* plan);

// Gives the regions of [begin, end) the one offset width that would have
// cost the long matches of `tokens` least: the stretch parsed last is the
// best guess at the offsets of the next.
void CarryOffsetWidth(std::span<const Token> tokens, uint32_t begin, uint32_t end,
                      RegionPlan* plan);

}  // namespace kv::compressor
