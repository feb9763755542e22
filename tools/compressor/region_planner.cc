// Two small dynamic programmes over the regions: one over the 257 literal
// modes (8-bit, or 7-bit with any bias), one over the offset widths 1 to 31.
// Staying in a state is free; entering another costs its switching code.
#include "region_planner.h"

#include <algorithm>
#include <array>
#include <limits>
#include <vector>

#include "code_costs.h"

namespace kv::compressor {
namespace {

constexpr unsigned kWideState = 256;  // states 0-255: 7-bit with that bias
constexpr unsigned kLiteralStates = 257;
constexpr uint32_t kMaxOffsetWidth = 31;
constexpr uint64_t kInfinite = std::numeric_limits<uint64_t>::max() / 4;

using Histogram = std::array<uint64_t, 256>;

size_t RegionCount(size_t size, unsigned shift) {
  return size == 0 ? 1 : ((size - 1) >> shift) + 1;
}

uint64_t LiteralSwitchBits(unsigned state) {
  return state == kWideState ? kLiteralWidth8Bits : kLiteralWidth7Bits;
}

// Region histograms of the bytes that will be literals -> one mode each.
std::vector<LiteralMode> PlanLiteralModes(const std::vector<Histogram>& histograms) {
  const size_t regions = histograms.size();
  std::vector<std::array<uint16_t, kLiteralStates>> came_from(regions);
  std::vector<uint64_t> best(kLiteralStates), next(kLiteralStates);
  for (unsigned s = 0; s < kLiteralStates; ++s) best[s] = LiteralSwitchBits(s);

  for (size_t r = 0; r < regions; ++r) {
    const Histogram& h = histograms[r];
    uint64_t total = 0;
    for (uint64_t count : h) total += count;
    // Literals that fall inside the 128-byte window starting at each bias.
    std::array<uint64_t, 256> inside{};
    uint64_t window = 0;
    for (unsigned k = 0; k < 128; ++k) window += h[k];
    for (unsigned bias = 0; bias < 256; ++bias) {
      inside[bias] = window;
      window = window - h[bias] + h[(bias + 128) & 255];
    }
    unsigned cheapest = 0;
    for (unsigned s = 1; s < kLiteralStates; ++s) {
      if (best[s] < best[cheapest]) cheapest = s;
    }
    for (unsigned s = 0; s < kLiteralStates; ++s) {
      const uint64_t own =
          s == kWideState ? total * kLiteral8Bits
                          : inside[s] * kLiteral7Bits + (total - inside[s]) * kEscapedLiteralBits;
      const uint64_t switched = best[cheapest] + LiteralSwitchBits(s);
      if (best[s] <= switched) {
        next[s] = best[s] + own;
        came_from[r][s] = static_cast<uint16_t>(s);
      } else {
        next[s] = switched + own;
        came_from[r][s] = static_cast<uint16_t>(cheapest);
      }
    }
    best.swap(next);
  }

  unsigned state = 0;
  for (unsigned s = 1; s < kLiteralStates; ++s) {
    if (best[s] < best[state]) state = s;
  }
  std::vector<LiteralMode> modes(regions);
  for (size_t r = regions; r-- > 0;) {
    modes[r] = state == kWideState ? LiteralMode{true, 0}
                                   : LiteralMode{false, static_cast<uint8_t>(state)};
    state = came_from[r][state];
  }
  return modes;
}

// Region lists of long-match offsets -> one low-bit width each.
std::vector<uint8_t> PlanOffsetWidths(const std::vector<std::vector<uint32_t>>& offsets) {
  const size_t regions = offsets.size();
  std::vector<std::array<uint8_t, kMaxOffsetWidth + 1>> came_from(regions);
  std::array<uint64_t, kMaxOffsetWidth + 1> best, next;
  best.fill(kInfinite);
  for (uint32_t w = 1; w <= kMaxOffsetWidth; ++w) {
    best[w] = w == kInitialOffsetWidth ? 0 : OffsetWidthChangeBits(w);
  }
  for (size_t r = 0; r < regions; ++r) {
    uint32_t cheapest = 1;
    for (uint32_t w = 2; w <= kMaxOffsetWidth; ++w) {
      if (best[w] < best[cheapest]) cheapest = w;
    }
    for (uint32_t w = 1; w <= kMaxOffsetWidth; ++w) {
      uint64_t own = 0;
      for (uint32_t offset : offsets[r]) own += LongOffsetBits(offset, w);
      const uint64_t switched = best[cheapest] + OffsetWidthChangeBits(w);
      if (best[w] <= switched) {
        next[w] = best[w] + own;
        came_from[r][w] = static_cast<uint8_t>(w);
      } else {
        next[w] = switched + own;
        came_from[r][w] = static_cast<uint8_t>(cheapest);
      }
    }
    best = next;
  }
  uint32_t width = 1;
  for (uint32_t w = 2; w <= kMaxOffsetWidth; ++w) {
    if (best[w] < best[width]) width = w;
  }
  std::vector<uint8_t> widths(regions);
  for (size_t r = regions; r-- > 0;) {
    widths[r] = static_cast<uint8_t>(width);
    width = came_from[r][width];
  }
  return widths;
}

}  // namespace

RegionPlan PlanFromBytes(std::span<const uint8_t> input, unsigned region_shift) {
  std::vector<Histogram> histograms(RegionCount(input.size(), region_shift), Histogram{});
  for (size_t i = 0; i < input.size(); ++i) {
    if (input[i] != 0) ++histograms[i >> region_shift][input[i]];
  }
  RegionPlan plan;
  plan.region_shift = region_shift;
  plan.literal_modes = PlanLiteralModes(histograms);
  plan.offset_widths.assign(histograms.size(), kInitialOffsetWidth);
  return plan;
}

RegionPlan PlanFromParse(std::span<const uint8_t> input, std::span<const Token> tokens,
                         unsigned region_shift) {
  const size_t regions = RegionCount(input.size(), region_shift);
  std::vector<Histogram> histograms(regions, Histogram{});
  std::vector<std::vector<uint32_t>> offsets(regions);
  size_t position = 0;
  for (const Token& token : tokens) {
    const size_t region = position >> region_shift;
    if (token.code == Code::kLiteral) ++histograms[region][input[position]];
    if (token.code == Code::kLongMatch) offsets[region].push_back(token.offset);
    position += token.length;
  }
  RegionPlan plan;
  plan.region_shift = region_shift;
  plan.literal_modes = PlanLiteralModes(histograms);
  plan.offset_widths = PlanOffsetWidths(offsets);
  return plan;
}

void RefitPlan(std::span<const uint8_t> input, std::span<const Token> tokens, uint32_t begin,
               uint32_t end, RegionPlan* plan) {
  const unsigned shift = plan->region_shift;
  const size_t first = begin >> shift;
  const size_t regions = ((end - 1) >> shift) - first + 1;
  std::vector<Histogram> histograms(regions, Histogram{});
  std::vector<std::vector<uint32_t>> offsets(regions);
  size_t position = begin;
  for (const Token& token : tokens) {
    const size_t region = (position >> shift) - first;
    if (token.code == Code::kLiteral) ++histograms[region][input[position]];
    if (token.code == Code::kLongMatch) offsets[region].push_back(token.offset);
    position += token.length;
  }
  const std::vector<LiteralMode> modes = PlanLiteralModes(histograms);
  const std::vector<uint8_t> widths = PlanOffsetWidths(offsets);
  std::copy(modes.begin(), modes.end(), plan->literal_modes.begin() + first);
  std::copy(widths.begin(), widths.end(), plan->offset_widths.begin() + first);
}

void CarryOffsetWidth(std::span<const Token> tokens, uint32_t begin, uint32_t end,
                      RegionPlan* plan) {
  std::array<uint64_t, kMaxOffsetWidth + 1> bits{};
  bool any = false;
  for (const Token& token : tokens) {
    if (token.code != Code::kLongMatch) continue;
    any = true;
    for (uint32_t w = 1; w <= kMaxOffsetWidth; ++w) bits[w] += LongOffsetBits(token.offset, w);
  }
  if (!any || begin >= end) return;
  uint32_t width = 1;
  for (uint32_t w = 2; w <= kMaxOffsetWidth; ++w) {
    if (bits[w] < bits[width]) width = w;
  }
  const unsigned shift = plan->region_shift;
  std::fill(plan->offset_widths.begin() + (begin >> shift),
            plan->offset_widths.begin() + ((end - 1) >> shift) + 1, static_cast<uint8_t>(width));
}

}  // namespace kv::compressor
