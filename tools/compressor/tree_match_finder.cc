// Binary trees keyed by a hash of the first eight bytes, one node (two links)
// per ring slot of the window, plus direct tables of the nearest 2-byte pair
// and 4-byte prefix for the short matches the trees do not hold.
#include "tree_match_finder.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "match_bytes.h"

namespace kv::compressor {

namespace {

// Bytes a position needs ahead of it to enter a tree: the root hash reads
// eight.
constexpr uint32_t kTreeBytes = 8;
// Walk steps the candidate lists hold before they must grow.
constexpr uint32_t kReservedSteps = 256;

}  // namespace

TreeMatchFinder::TreeMatchFinder(std::span<const uint8_t> input, uint32_t depth,
                                 uint32_t nice_length, unsigned window_bits)
    : input_(input),
      hash_bits_(TableBits(input.size(), kHashBits)),
      root_bits_(TableBits(input.size(), kMaxRootBits)),
      window_mask_(WindowMask(input.size(), window_bits)),
      // A position a whole window back may have had its slot reused, and the
      // slots of those a little less far back belong to the later positions
      // of a batch, whose walks may be filling them in; all that hang below
      // either are older still.
      reach_(window_mask_ >= kBatch ? window_mask_ + 1 - kBatch : 0),
      depth_(depth),
      nice_length_(std::max(nice_length, kTreeBytes)),
      head2_(1u << 16, kNone),
      head4_(size_t{1} << hash_bits_, kNone),
      roots_(size_t{1} << root_bits_, kNone),
      children_(2 * (size_t{window_mask_} + 1), kNone) {
  // Room for the usual walk; a deeper one grows the lists. `depth` may be
  // any bound up to "unlimited", so it is no size to reserve (a 32-bit
  // process cannot even address that much).
  const size_t room = std::min(depth, kReservedSteps) + size_t{3};
  for (Search& search : searches_) {
    search.candidates.reserve(room);
    search.found.reserve(room);
  }
}

uint32_t TreeMatchFinder::Hash4(uint32_t position) const {
  uint32_t key;
  std::memcpy(&key, input_.data() + position, 4);
  return (key * 2654435761u) >> (32 - hash_bits_);
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

bool TreeMatchFinder::TakesTree(uint32_t position) const {
  return input_.size() - position >= kTreeBytes && !IsRun(position);
}

void TreeMatchFinder::StartWalk(Search* search, Walk* walk) {
  const uint32_t position = search->position;
  const uint32_t in_input = static_cast<uint32_t>(input_.size()) - position;
  // Positions closer to the end than the nice length are only looked up:
  // comparing them over fewer bytes than the nodes already in the tree would
  // break its order.
  walk->insert = in_input >= nice_length_;
  walk->position = position;
  walk->available = search->available;
  walk->limit = std::min(nice_length_, in_input);
  const uint32_t root = HashRoot(position);
  walk->candidate = roots_[root];
  if (walk->insert) roots_[root] = position;
  walk->steps = depth_;
  walk->best = 1;
  uint32_t* own = walk->insert ? &children_[2 * size_t{position & window_mask_}] : walk->scratch;
  walk->links[kAfterSide] = own + 1;
  walk->links[kBeforeSide] = own;
  walk->lengths[0] = walk->lengths[1] = 0;
  walk->candidates = &search->candidates;
}

bool TreeMatchFinder::Step(Walk* walk) {
  const uint32_t position = walk->position;
  const uint32_t candidate = walk->candidate;
  if (candidate == kNone || position - candidate > reach_ || walk->steps == 0) {
    *walk->links[kBeforeSide] = *walk->links[kAfterSide] = kNone;
    return false;
  }
  --walk->steps;
  uint32_t* pair = &children_[2 * size_t{candidate & window_mask_}];
  // Both links share a cache line: load them now, alongside the bytes,
  // rather than after the comparison has picked one.
  const uint32_t next[2] = {pair[0], pair[1]};
  uint32_t length = std::min(walk->lengths[0], walk->lengths[1]);
  length += CommonLength(candidate + length, position + length, walk->limit - length);
  const uint32_t reach = std::min(length, walk->available);
  if (reach > walk->best) {
    walk->candidates->push_back({reach, position - candidate});
    walk->best = reach;
  }
  if (length == walk->limit) {
    // Same bytes as far as the tree compares: the position takes the place
    // of the earlier one, links and all.
    *walk->links[kBeforeSide] = next[0];
    *walk->links[kAfterSide] = next[1];
    return false;
  }
  // Which way the walk turns is as good as random, so the step is written
  // without a branch on it.
  const unsigned side =
      input_[candidate + length] < input_[position + length] ? kBeforeSide : kAfterSide;
  *walk->links[side] = candidate;
  walk->lengths[side] = length;
  if (walk->insert) walk->links[side] = pair + side;
  walk->candidate = next[side];
  return true;
}

void TreeMatchFinder::VisitTables(uint32_t position, uint32_t available,
                                  std::vector<Match>* candidates) {
  const uint32_t in_input = static_cast<uint32_t>(input_.size()) - position;
  if (in_input < 2) return;
  uint32_t& pair_head = head2_[input_[position] | (input_[position + 1] << 8)];
  const uint32_t pair = pair_head;
  pair_head = position;
  uint32_t quad = kNone;
  if (in_input >= 4) {
    uint32_t& quad_head = head4_[Hash4(position)];
    quad = quad_head;
    quad_head = position;
  }
  if (available < 2) return;
  for (const uint32_t candidate : {pair, quad}) {
    if (candidate == kNone) continue;
    const uint32_t length = CommonLength(candidate, position, available);
    if (length >= 2) candidates->push_back({length, position - candidate});
  }
}

void TreeMatchFinder::SearchBatch(uint32_t position, uint32_t count, uint32_t end) {
  batch_begin_ = position;
  batch_count_ = count;
  uint32_t roots[kBatch];
  bool walking[kBatch] = {};
  bool done[kBatch];
  Walk walks[kBatch];
  for (uint32_t i = 0; i < count; ++i) {
    Search& search = searches_[i];
    search.position = position + i;
    search.available = end - search.position;
    search.candidates.clear();
    VisitTables(search.position, search.available, &search.candidates);
    done[i] = !TakesTree(search.position);
    if (!done[i]) roots[i] = HashRoot(search.position);
  }
  // Steps by turns, each walk once all earlier ones in its tree have ended:
  // a later position must meet the nodes of the earlier ones.
  for (bool more = true; more;) {
    more = false;
    for (uint32_t i = 0; i < count; ++i) {
      if (done[i]) continue;
      if (!walking[i]) {
        bool free = true;
        for (uint32_t j = 0; j < i; ++j) free = free && (done[j] || roots[j] != roots[i]);
        if (!free) {
          more = true;
          continue;
        }
        StartWalk(&searches_[i], &walks[i]);
        walking[i] = true;
      }
      done[i] = !Step(&walks[i]);
      more = more || !done[i];
    }
  }
}

void TreeMatchFinder::KeepNearestOfEachLength(Search* search) {
  std::vector<Match>& candidates = search->candidates;
  std::sort(candidates.begin(), candidates.end(),
            [](const Match& a, const Match& b) { return a.offset < b.offset; });
  search->found.clear();
  for (const Match& match : candidates) {
    const uint32_t length = std::min(match.length, search->available);
    if (search->found.empty() || length > search->found.back().length) {
      search->found.push_back({length, match.offset});
    }
  }
}

bool TreeMatchFinder::InBatch(uint32_t position) const {
  return position - batch_begin_ < batch_count_;
}

void TreeMatchFinder::Skip(uint32_t position) {
  if (!InBatch(position)) VisitTables(position, 0, nullptr);
}

std::span<const Match> TreeMatchFinder::Find(uint32_t position, uint32_t end) {
  const uint32_t available = end - position;
  if (!InBatch(position)) {
    // Ask for the roots of the next batch now, so that they have arrived
    // by the time it starts.
    const uint32_t ahead = static_cast<uint32_t>(input_.size()) - position;
    if (ahead >= kTreeBytes + 2 * kBatch) {
      for (uint32_t i = kBatch; i < 2 * kBatch; ++i) {
        __builtin_prefetch(&roots_[HashRoot(position + i)]);
      }
    }
    SearchBatch(position, std::min(kBatch, available), end);
  }
  // A position searched ahead was searched for the same end or a later one:
  // cut to this end.
  Search& search = searches_[position - batch_begin_];
  search.available = std::min(search.available, available);
  KeepNearestOfEachLength(&search);
  return search.found;
}

}  // namespace kv::compressor
