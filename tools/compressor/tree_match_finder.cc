// Binary trees keyed by a hash of the first six bytes, one node (two links)
// per ring slot of the window, plus direct tables of the nearest 2-byte pair
// and 3-byte prefix for the short matches the trees do not hold.
#include "tree_match_finder.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "match_bytes.h"

namespace kv::compressor {

namespace {

// Bits of a table index for an input of `size` bytes: about one slot per
// byte, so that small inputs do not pay for clearing large tables.
unsigned TableBits(size_t size, unsigned most) {
  const unsigned bits = static_cast<unsigned>(std::bit_width(size | 1));
  return std::clamp(bits, 10u, most);
}

// Bytes a position needs ahead of it to enter a tree: the root hash reads
// eight.
constexpr uint32_t kTreeBytes = 8;

}  // namespace

TreeMatchFinder::TreeMatchFinder(std::span<const uint8_t> input, uint32_t depth,
                                 uint32_t nice_length, unsigned window_bits)
    : input_(input),
      hash_bits_(TableBits(input.size(), kHashBits)),
      root_bits_(TableBits(input.size(), kMaxRootBits)),
      window_mask_(static_cast<uint32_t>(
          std::min<uint64_t>(uint64_t{1} << std::max(window_bits, 16u),
                             std::bit_ceil(std::max<uint64_t>(input.size(), 1))) -
          1)),
      depth_(depth),
      nice_length_(std::max(nice_length, kTreeBytes)),
      head2_(1u << 16, kNone),
      head3_(size_t{1} << hash_bits_, kNone),
      roots_(size_t{1} << root_bits_, kNone),
      children_(2 * (size_t{window_mask_} + 1), kNone) {
  candidates_.reserve(depth + 3);
  found_.reserve(depth + 3);
}

uint32_t TreeMatchFinder::Hash3(uint32_t position) const {
  return HashOfThree(input_.data() + position, hash_bits_);
}

uint32_t TreeMatchFinder::HashRoot(uint32_t position) const {
  uint64_t key;
  std::memcpy(&key, input_.data() + position, 8);
  // Little-endian: the first kRootPrefix bytes are the low ones.
  key <<= 64 - 8 * kRootPrefix;
  return static_cast<uint32_t>((key * 0x9E3779B97F4A7C15ull) >> (64 - root_bits_));
}

bool TreeMatchFinder::IsRun(uint32_t position) const {
  uint64_t bytes;
  std::memcpy(&bytes, input_.data() + position, 8);
  return bytes == (bytes & 0xFF) * 0x0101010101010101ull;
}

uint32_t TreeMatchFinder::CommonLength(uint32_t earlier, uint32_t position, uint32_t limit) const {
  return CommonRun(input_.data() + earlier, input_.data() + position, limit);
}

void TreeMatchFinder::Descend(uint32_t position, uint32_t available) {
  const uint32_t in_input = static_cast<uint32_t>(input_.size()) - position;
  // Positions closer to the end than the nice length are only looked up:
  // comparing them over fewer bytes than the nodes already in the tree would
  // break its order.
  const bool insert = in_input >= nice_length_;
  const uint32_t limit = std::min(nice_length_, in_input);
  const uint32_t root = HashRoot(position);
  uint32_t candidate = roots_[root];
  if (insert) roots_[root] = position;
  const uint8_t* here = input_.data() + position;
  // The open links of the new node, by side: where the next position
  // ordering after it, and before it, hangs. Every node below a link shares
  // `lengths[side]` bytes with the position. A lookup links nothing.
  uint32_t scratch[2];
  uint32_t* own = insert ? &children_[2 * size_t{position & window_mask_}] : scratch;
  uint32_t* links[2] = {own + 1, own};
  uint32_t lengths[2] = {0, 0};
  uint32_t best = 1;
  for (uint32_t steps = depth_;; --steps) {
    // A position a whole window back may have had its slot reused; all that
    // hang below it are older still.
    if (candidate == kNone || position - candidate > window_mask_ || steps == 0) {
      *links[kBeforeSide] = *links[kAfterSide] = kNone;
      return;
    }
    uint32_t* pair = &children_[2 * size_t{candidate & window_mask_}];
    // Both links share a cache line: load them now, alongside the bytes,
    // rather than after the comparison has picked one.
    const uint32_t next[2] = {pair[0], pair[1]};
    const uint8_t* there = input_.data() + candidate;
    uint32_t length = std::min(lengths[0], lengths[1]);
    length += CommonLength(candidate + length, position + length, limit - length);
    const uint32_t reach = std::min(length, available);
    if (reach > best) {
      candidates_.push_back({reach, position - candidate});
      best = reach;
    }
    if (length == limit) {
      // Same bytes as far as the tree compares: the position takes the place
      // of the earlier one, links and all.
      *links[kBeforeSide] = next[0];
      *links[kAfterSide] = next[1];
      return;
    }
    // Which way the walk turns is as good as random, so the step is written
    // without a branch on it.
    const unsigned side = there[length] < here[length] ? kBeforeSide : kAfterSide;
    *links[side] = candidate;
    lengths[side] = length;
    if (insert) links[side] = pair + side;
    candidate = next[side];
  }
}

void TreeMatchFinder::VisitTables(uint32_t position, uint32_t available) {
  const uint32_t in_input = static_cast<uint32_t>(input_.size()) - position;
  if (in_input < 2) return;
  uint32_t& pair_head = head2_[input_[position] | (input_[position + 1] << 8)];
  const uint32_t pair = pair_head;
  pair_head = position;
  uint32_t triple = kNone;
  if (in_input >= 3) {
    uint32_t& triple_head = head3_[Hash3(position)];
    triple = triple_head;
    triple_head = position;
  }
  if (available < 2) return;
  for (const uint32_t candidate : {pair, triple}) {
    if (candidate == kNone) continue;
    const uint32_t length = CommonLength(candidate, position, available);
    if (length >= 2) candidates_.push_back({length, position - candidate});
  }
}

void TreeMatchFinder::Skip(uint32_t position) { VisitTables(position, 0); }

std::span<const Match> TreeMatchFinder::Find(uint32_t position, uint32_t end) {
  candidates_.clear();
  found_.clear();
  const uint32_t in_input = static_cast<uint32_t>(input_.size()) - position;
  const uint32_t available = end - position;
  if (in_input >= kTreeBytes + 1) __builtin_prefetch(&roots_[HashRoot(position + 1)]);
  VisitTables(position, available);
  // Inside a run of one byte, the nearest pair already gives the run and
  // whatever follows it as far as the previous position matched; the trees
  // leave such positions out, which would otherwise crowd into one tree.
  if (in_input >= kTreeBytes && !IsRun(position)) {
    Descend(position, available);
  }
  // Keep, nearest first, the matches that no nearer one equals in length.
  std::sort(candidates_.begin(), candidates_.end(),
            [](const Match& a, const Match& b) { return a.offset < b.offset; });
  for (const Match& match : candidates_) {
    if (found_.empty() || match.length > found_.back().length) found_.push_back(match);
  }
  return found_;
}

}  // namespace kv::compressor
