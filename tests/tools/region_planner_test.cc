// Carrying the offset width from one stretch to the next: the width chosen
// is the one the stretch's long matches would have cost least with, and only
// the regions of the next stretch take it.
#include "region_planner.h"

#include <gtest/gtest.h>

#include <vector>

#include "code_costs.h"

namespace kv {
namespace {

using compressor::CarryOffsetWidth;
using compressor::Code;
using compressor::LongOffsetBits;
using compressor::RegionPlan;
using compressor::Token;

RegionPlan PlanOf(size_t regions) {
  RegionPlan plan;
  plan.region_shift = 12;
  plan.literal_modes.resize(regions);
  plan.offset_widths.assign(regions, kInitialOffsetWidth);
  return plan;
}

TEST(CarryOffsetWidth, GivesTheNextStretchTheCheapestWidthForTheLastOnesMatches) {
  const std::vector<uint32_t> offsets = {900000, 700000, 1000000, 40, 850000};
  std::vector<Token> tokens = {{Code::kLiteral, 1, 0}, {Code::kShortMatch, 3, 40}};
  for (uint32_t offset : offsets) tokens.push_back({Code::kLongMatch, 20, offset});
  uint64_t cheapest = UINT64_MAX;
  uint32_t best_width = 0;
  for (uint32_t w = 1; w <= 31; ++w) {
    uint64_t bits = 0;
    for (uint32_t offset : offsets) bits += LongOffsetBits(offset, w);
    if (bits < cheapest) {
      cheapest = bits;
      best_width = w;
    }
  }
  ASSERT_NE(best_width, kInitialOffsetWidth);

  RegionPlan plan = PlanOf(40);
  // The stretch [64 KiB, 100 KiB + 1) covers regions 16 to 25.
  CarryOffsetWidth(tokens, 65536, 102401, &plan);
  for (size_t r = 0; r < 40; ++r) {
    const uint32_t expected = r >= 16 && r <= 25 ? best_width : kInitialOffsetWidth;
    EXPECT_EQ(plan.offset_widths[r], expected) << "region " << r;
  }
}

TEST(CarryOffsetWidth, KeepsThePlanWithoutLongMatches) {
  const std::vector<Token> tokens = {{Code::kLiteral, 1, 0}, {Code::kRepeatMatch, 9, 5}};
  RegionPlan plan = PlanOf(8);
  CarryOffsetWidth(tokens, 4096, 32768, &plan);
  EXPECT_EQ(plan.offset_widths, std::vector<uint8_t>(8, kInitialOffsetWidth));
}

}  // namespace
}  // namespace kv
