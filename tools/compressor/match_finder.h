// Hash-chain match finder: for each position in turn, the matches that end
// farther than any closer one, shortest and nearest first. A short chain over
// 3-byte prefixes finds the near short matches; a chain over 8-byte prefixes
// reaches far long ones without wading through every short repeat. The chains
// live in ring buffers over a sliding window, so their memory stays bounded
// and cache-friendly however large the input is.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/memory.h"

namespace kv::compressor {

struct Match {
  uint32_t length;
  uint32_t offset;
};

class MatchFinder {
 public:
  // `short_depth` and `long_depth` bound the steps along the two chains per
  // position; the search stops early at a match of `nice_length` bytes. The
  // chains reach back less than 2^`window_bits` bytes (at least 64 KiB; the
  // whole input when it is smaller).
  MatchFinder(std::span<const uint8_t> input, uint32_t short_depth, uint32_t long_depth,
              uint32_t nice_length, unsigned window_bits);

  // Matches at `position` that end at or before `end`, each longer and farther
  // than the one before; the nearest occurrence of the first two bytes comes
  // first. Adds the position to the chains. Positions must be visited in
  // increasing order, each once, through either Find or Insert.
  std::span<const Match> Find(uint32_t position, uint32_t end);
  void Insert(uint32_t position);

  // Length of the common run of bytes at `earlier` and `position`, at most
  // `limit`.
  uint32_t CommonLength(uint32_t earlier, uint32_t position, uint32_t limit) const;

 private:
  static constexpr uint32_t kNone = 0xFFFFFFFFu;
  static constexpr unsigned kMaxHashBits = 17;
  static constexpr unsigned kMaxLongHashBits = 20;
  static constexpr uint32_t kLongPrefix = 8;

  uint32_t Hash3(uint32_t position) const;
  uint32_t Hash8(uint32_t position) const;
  // Follows one chain, adding every candidate that is longer than `*best`.
  void Walk(uint32_t candidate, const platform::LargeTable& previous, uint32_t steps,
            uint32_t position, uint32_t available, uint32_t* best);

  std::span<const uint8_t> input_;
  unsigned hash_bits_;
  unsigned long_hash_bits_;
  uint32_t window_mask_;  // ring index of a position; the window is mask + 1
  uint32_t short_depth_;
  uint32_t long_depth_;
  uint32_t nice_length_;
  std::vector<uint32_t> head2_;
  std::vector<uint32_t> head3_;
  platform::LargeTable previous3_;
  platform::LargeTable head8_;
  platform::LargeTable previous8_;
  std::vector<Match> candidates_;
  std::vector<Match> found_;
};

class TreeMatchFinder;

// How a StretchFinder searches.
struct SearchSettings {
  enum class Finder : uint8_t { kChains, kTrees };
  Finder finder = Finder::kChains;
  uint32_t short_depth = 8;  // chains: steps along the 3-byte chain
  // Chains: steps along the 8-byte chain. Trees: steps down a tree.
  uint32_t long_depth = 16;
  // A match this long ends the search, and the parse takes it outright.
  uint32_t nice_length = 96;
  // A match this long is taken as good enough: the positions inside it are
  // neither searched nor expanded, except its last `tail` ones, where a
  // match that runs on past its end may start. At least nice_length means
  // only nice-length matches are skipped, all of them.
  uint32_t skip_length = 96;
  uint32_t tail = 0;
  unsigned window_bits = 22;  // matches reach back less than 2^window_bits
};

// The matches of every position of one stretch of the input that a parse
// expands, found once and shared by all the passes over that stretch. A
// position inside a match of the skip length is not expanded: the parse jumps
// over it.
class StretchMatches {
 public:
  bool Expanded(uint32_t position) const { return starts_[position - begin_] != kSkipped; }
  std::span<const Match> At(uint32_t position) const {
    return {matches_.data() + starts_[position - begin_], counts_[position - begin_]};
  }
  uint32_t begin() const { return begin_; }
  uint32_t end() const { return end_; }

 private:
  friend class StretchFinder;
  static constexpr uint32_t kSkipped = 0xFFFFFFFFu;

  uint32_t begin_ = 0;
  uint32_t end_ = 0;
  std::vector<Match> matches_;
  std::vector<uint32_t> starts_;  // per position of the stretch
  std::vector<uint16_t> counts_;
};

// Finds the matches of the stretches of the input in turn. The stretches are
// parsed in turn too, so memory follows the stretch, not the input, while the
// finder carries the window across them.
class StretchFinder {
 public:
  StretchFinder(std::span<const uint8_t> input, const SearchSettings& settings);
  ~StretchFinder();

  // Finds the matches of [begin, end), which must follow the previous
  // stretch; no match reaches past `end`.
  void Fill(uint32_t begin, uint32_t end, StretchMatches* stretch);

 private:
  // Whichever the settings name; the other is empty.
  std::unique_ptr<MatchFinder> chains_;
  std::unique_ptr<TreeMatchFinder> trees_;
  SearchSettings settings_;
};

}  // namespace kv::compressor
