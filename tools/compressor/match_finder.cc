// Hash chains over 3-byte prefixes, plus a direct table of the last position
// of every 2-byte pair for the short matches that 3-byte hashing misses.
#include "match_finder.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "match_bytes.h"
#include "tree_match_finder.h"

namespace kv::compressor {

MatchFinder::MatchFinder(std::span<const uint8_t> input, uint32_t short_depth, uint32_t long_depth,
                         uint32_t nice_length, unsigned window_bits)
    : input_(input),
      hash_bits_(TableBits(input.size(), kMaxHashBits)),
      long_hash_bits_(TableBits(input.size(), kMaxLongHashBits)),
      window_mask_(WindowMask(input.size(), window_bits)),
      short_depth_(short_depth),
      long_depth_(long_depth),
      nice_length_(nice_length),
      head2_(1u << 16, kNone),
      head3_(size_t{1} << hash_bits_, kNone),
      previous3_(size_t{window_mask_} + 1, kNone),
      head8_(size_t{1} << long_hash_bits_, kNone),
      previous8_(size_t{window_mask_} + 1, kNone) {
  // Room for the usual walks; deeper ones grow the lists. The depths may be
  // any bounds, so their sum is no size to reserve.
  constexpr uint64_t kReservedSteps = 512;
  const size_t room = std::min(uint64_t{short_depth} + long_depth, kReservedSteps) + 2;
  candidates_.reserve(room);
  found_.reserve(room);
}

uint32_t MatchFinder::Hash8(uint32_t position) const {
  uint64_t key;
  std::memcpy(&key, input_.data() + position, 8);
  return static_cast<uint32_t>((key * 0x9E3779B97F4A7C15ull) >> (64 - long_hash_bits_));
}

uint32_t MatchFinder::Hash3(uint32_t position) const {
  return HashOfThree(input_.data() + position, hash_bits_);
}

uint32_t MatchFinder::CommonLength(uint32_t earlier, uint32_t position, uint32_t limit) const {
  return CommonRun(input_.data() + earlier, input_.data() + position, limit);
}

void MatchFinder::Insert(uint32_t position) {
  const uint32_t available = static_cast<uint32_t>(input_.size()) - position;
  if (available < 2) return;
  head2_[input_[position] | (input_[position + 1] << 8)] = position;
  if (available < 3) return;
  const uint32_t hash = Hash3(position);
  previous3_[position & window_mask_] = head3_[hash];
  head3_[hash] = position;
  if (available < kLongPrefix) return;
  const uint32_t long_hash = Hash8(position);
  previous8_[position & window_mask_] = head8_[long_hash];
  head8_[long_hash] = position;
}

void MatchFinder::Walk(uint32_t candidate, const platform::LargeTable& previous, uint32_t steps,
                       uint32_t position, uint32_t available, uint32_t* best) {
  const uint8_t* here = input_.data() + position;
  // A candidate a whole window back or more may have had its ring slot
  // reused by a later position; the walk stops there.
  for (; candidate != kNone && position - candidate <= window_mask_ && steps > 0; --steps) {
    const uint8_t* there = input_.data() + candidate;
    if (there[*best] == here[*best] && there[0] == here[0]) {
      const uint32_t length = CommonLength(candidate, position, available);
      if (length > *best) {
        candidates_.push_back({length, position - candidate});
        *best = length;
        if (*best >= nice_length_ || *best == available) return;
      }
    }
    candidate = previous[candidate & window_mask_];
  }
}

std::span<const Match> MatchFinder::Find(uint32_t position, uint32_t end) {
  found_.clear();
  candidates_.clear();
  // Hashing may look at bytes past `end`; matches stop there.
  const uint32_t in_input = static_cast<uint32_t>(input_.size()) - position;
  const uint32_t available = end - position;
  if (available < 2) {
    Insert(position);
    return {};
  }
  const uint8_t* here = input_.data() + position;
  uint32_t best = 1;
  // The chain heads of the next position, and the first step of this one's
  // chains, are far apart in memory: ask for them early so that the loads
  // overlap instead of waiting one after another.
  if (in_input >= kLongPrefix + 1) {
    __builtin_prefetch(&head3_[Hash3(position + 1)]);
    __builtin_prefetch(&head8_[Hash8(position + 1)]);
  }

  uint32_t candidate3 = kNone, candidate8 = kNone, hash3 = 0, hash8 = 0;
  if (in_input >= 3) {
    hash3 = Hash3(position);
    candidate3 = head3_[hash3];
    if (candidate3 != kNone) __builtin_prefetch(input_.data() + candidate3);
  }
  if (in_input >= kLongPrefix) {
    hash8 = Hash8(position);
    candidate8 = head8_[hash8];
    if (candidate8 != kNone) {
      __builtin_prefetch(input_.data() + candidate8);
      __builtin_prefetch(&previous8_[candidate8 & window_mask_]);
    }
  }

  uint32_t& pair_head = head2_[here[0] | (here[1] << 8)];
  if (pair_head != kNone) {
    const uint32_t length = CommonLength(pair_head, position, available);
    if (length > best) {
      candidates_.push_back({length, position - pair_head});
      best = length;
    }
  }
  pair_head = position;
  if (in_input >= 3) {
    previous3_[position & window_mask_] = candidate3;
    head3_[hash3] = position;
    if (best < nice_length_ && best < available) {
      Walk(candidate3, previous3_, short_depth_, position, available, &best);
    }
  }
  if (in_input >= kLongPrefix) {
    previous8_[position & window_mask_] = candidate8;
    head8_[hash8] = position;
    if (best < nice_length_ && best < available) {
      Walk(candidate8, previous8_, long_depth_, position, available, &best);
    }
  }
  // The chains were walked in turn, each in increasing distance, and every
  // candidate is longer than all found before it; keep those that no nearer
  // candidate matches in length.
  std::sort(candidates_.begin(), candidates_.end(),
            [](const Match& a, const Match& b) { return a.offset < b.offset; });
  for (const Match& match : candidates_) {
    if (found_.empty() || match.length > found_.back().length) found_.push_back(match);
  }
  return found_;
}

StretchFinder::StretchFinder(std::span<const uint8_t> input, const SearchSettings& settings)
    : settings_(settings) {
  if (settings.finder == SearchSettings::Finder::kTrees) {
    trees_ = std::make_unique<TreeMatchFinder>(input, settings.long_depth, settings.nice_length,
                                               settings.window_bits);
  } else {
    chains_ = std::make_unique<MatchFinder>(input, settings.short_depth, settings.long_depth,
                                            settings.nice_length, settings.window_bits);
  }
}

StretchFinder::~StretchFinder() = default;

void StretchFinder::Fill(uint32_t begin, uint32_t end, StretchMatches* stretch) {
  stretch->begin_ = begin;
  stretch->end_ = end;
  stretch->starts_.assign(end - begin, StretchMatches::kSkipped);
  stretch->counts_.assign(end - begin, 0);
  stretch->matches_.clear();
  const uint32_t skip_length = std::min(settings_.skip_length, settings_.nice_length);
  uint32_t skip_until = 0;
  for (uint32_t position = begin; position < end; ++position) {
    if (position < skip_until) {
      if (chains_) {
        chains_->Insert(position);
      } else {
        trees_->Skip(position);
      }
      continue;
    }
    stretch->starts_[position - begin] = static_cast<uint32_t>(stretch->matches_.size());
    const std::span<const Match> found =
        chains_ ? chains_->Find(position, end) : trees_->Find(position, end);
    stretch->counts_[position - begin] = static_cast<uint16_t>(found.size());
    stretch->matches_.insert(stretch->matches_.end(), found.begin(), found.end());
    if (found.empty() || found.back().length < skip_length) continue;
    // The parse reaches the end of a nice-length match only through the
    // match itself; a shorter one keeps its tail open.
    const uint32_t length = found.back().length;
    const uint32_t tail =
        length >= settings_.nice_length ? 0 : std::min(settings_.tail, length - 1);
    skip_until = position + length - tail;
  }
}

}  // namespace kv::compressor
