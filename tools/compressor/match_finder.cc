// Hash chains over 3-byte prefixes, plus a direct table of the last position
// of every 2-byte pair for the short matches that 3-byte hashing misses.
#include "match_finder.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace kv::compressor {

MatchFinder::MatchFinder(std::span<const uint8_t> input, uint32_t short_depth, uint32_t long_depth,
                         uint32_t nice_length)
    : input_(input),
      short_depth_(short_depth),
      long_depth_(long_depth),
      nice_length_(nice_length),
      head2_(1u << 16, kNone),
      head3_(1u << kHashBits, kNone),
      previous3_(input.size(), kNone),
      head8_(1u << kLongHashBits, kNone),
      previous8_(input.size(), kNone) {
  candidates_.reserve(short_depth + long_depth + 2);
  found_.reserve(short_depth + long_depth + 2);
}

uint32_t MatchFinder::Hash8(uint32_t position) const {
  uint64_t key;
  std::memcpy(&key, input_.data() + position, 8);
  return static_cast<uint32_t>((key * 0x9E3779B97F4A7C15ull) >> (64 - kLongHashBits));
}

uint32_t MatchFinder::Hash3(uint32_t position) const {
  const uint8_t* p = input_.data() + position;
  const uint32_t key = p[0] | (p[1] << 8) | (p[2] << 16);
  return (key * 2654435761u) >> (32 - kHashBits);
}

uint32_t MatchFinder::CommonLength(uint32_t earlier, uint32_t position, uint32_t limit) const {
  const uint8_t* a = input_.data() + earlier;
  const uint8_t* b = input_.data() + position;
  uint32_t length = 0;
  while (limit - length >= 8) {
    uint64_t x, y;
    std::memcpy(&x, a + length, 8);
    std::memcpy(&y, b + length, 8);
    if (x != y) {
      // Little-endian hosts only; every supported target is.
      return length + static_cast<uint32_t>(std::countr_zero(x ^ y) / 8);
    }
    length += 8;
  }
  while (length < limit && a[length] == b[length]) ++length;
  return length;
}

void MatchFinder::Insert(uint32_t position) {
  const uint32_t available = static_cast<uint32_t>(input_.size()) - position;
  if (available < 2) return;
  head2_[input_[position] | (input_[position + 1] << 8)] = position;
  if (available < 3) return;
  const uint32_t hash = Hash3(position);
  previous3_[position] = head3_[hash];
  head3_[hash] = position;
  if (available < kLongPrefix) return;
  const uint32_t long_hash = Hash8(position);
  previous8_[position] = head8_[long_hash];
  head8_[long_hash] = position;
}

void MatchFinder::Walk(uint32_t candidate, const std::vector<uint32_t>& previous, uint32_t steps,
                       uint32_t position, uint32_t available, uint32_t* best) {
  const uint8_t* here = input_.data() + position;
  for (; candidate != kNone && steps > 0; --steps) {
    const uint8_t* there = input_.data() + candidate;
    if (there[*best] == here[*best] && there[0] == here[0]) {
      const uint32_t length = CommonLength(candidate, position, available);
      if (length > *best) {
        candidates_.push_back({length, position - candidate});
        *best = length;
        if (*best >= nice_length_ || *best == available) return;
      }
    }
    candidate = previous[candidate];
  }
}

std::span<const Match> MatchFinder::Find(uint32_t position) {
  found_.clear();
  candidates_.clear();
  const uint32_t available = static_cast<uint32_t>(input_.size()) - position;
  if (available < 2) return {};
  const uint8_t* here = input_.data() + position;
  uint32_t best = 1;

  uint32_t& pair_head = head2_[here[0] | (here[1] << 8)];
  if (pair_head != kNone) {
    const uint32_t length = CommonLength(pair_head, position, available);
    if (length > best) {
      candidates_.push_back({length, position - pair_head});
      best = length;
    }
  }
  pair_head = position;
  if (available >= 3) {
    const uint32_t hash = Hash3(position);
    const uint32_t candidate = head3_[hash];
    previous3_[position] = candidate;
    head3_[hash] = position;
    if (best < nice_length_ && best < available) {
      Walk(candidate, previous3_, short_depth_, position, available, &best);
    }
  }
  if (available >= kLongPrefix) {
    const uint32_t hash = Hash8(position);
    const uint32_t candidate = head8_[hash];
    previous8_[position] = candidate;
    head8_[hash] = position;
    if (best < nice_length_ && best < available) {
      Walk(candidate, previous8_, long_depth_, position, available, &best);
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

MatchTable::MatchTable(std::span<const uint8_t> input, uint32_t short_depth, uint32_t long_depth,
                       uint32_t nice_length)
    : finder_(input, short_depth, long_depth, nice_length),
      starts_(input.size(), kSkipped),
      counts_(input.size(), 0) {
  const uint32_t size = static_cast<uint32_t>(input.size());
  // Reserved generously once: growing a vector of this size copies it, and
  // untouched reserved pages cost nothing.
  matches_.reserve(input.size() * 4);
  uint32_t skip_until = 0;
  for (uint32_t position = 0; position < size; ++position) {
    if (position < skip_until) {
      finder_.Insert(position);
      continue;
    }
    starts_[position] = static_cast<uint32_t>(matches_.size());
    const std::span<const Match> found = finder_.Find(position);
    counts_[position] = static_cast<uint16_t>(found.size());
    matches_.insert(matches_.end(), found.begin(), found.end());
    if (!found.empty() && found.back().length >= nice_length) {
      skip_until = position + found.back().length;
    }
  }
}

}  // namespace kv::compressor
