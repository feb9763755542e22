// Hash-chain match finder: for each position in turn, the matches that end
// farther than any closer one, shortest and nearest first. A short chain over
// 3-byte prefixes finds the near short matches; a chain over 8-byte prefixes
// reaches far long ones without wading through every short repeat.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace kv::compressor {

struct Match {
  uint32_t length;
  uint32_t offset;
};

class MatchFinder {
 public:
  // `short_depth` and `long_depth` bound the steps along the two chains per
  // position; the search stops early at a match of `nice_length` bytes. The
  // window is the whole input.
  MatchFinder(std::span<const uint8_t> input, uint32_t short_depth, uint32_t long_depth,
              uint32_t nice_length);

  // Matches at `position`, each longer and farther than the one before; the
  // nearest occurrence of the first two bytes comes first. Adds the position
  // to the chains. Positions must be visited in increasing order, each once,
  // through either Find or Insert.
  std::span<const Match> Find(uint32_t position);
  void Insert(uint32_t position);

  // Length of the common run of bytes at `earlier` and `position`, at most
  // `limit`.
  uint32_t CommonLength(uint32_t earlier, uint32_t position, uint32_t limit) const;

 private:
  static constexpr uint32_t kNone = 0xFFFFFFFFu;
  static constexpr unsigned kHashBits = 17;
  static constexpr unsigned kLongHashBits = 20;
  static constexpr uint32_t kLongPrefix = 8;

  uint32_t Hash3(uint32_t position) const;
  uint32_t Hash8(uint32_t position) const;
  // Follows one chain, adding every candidate that is longer than `*best`.
  void Walk(uint32_t candidate, const std::vector<uint32_t>& previous, uint32_t steps,
            uint32_t position, uint32_t available, uint32_t* best);

  std::span<const uint8_t> input_;
  uint32_t short_depth_;
  uint32_t long_depth_;
  uint32_t nice_length_;
  std::vector<uint32_t> head2_;
  std::vector<uint32_t> head3_;
  std::vector<uint32_t> previous3_;
  std::vector<uint32_t> head8_;
  std::vector<uint32_t> previous8_;
  std::vector<Match> candidates_;
  std::vector<Match> found_;
};

// The matches of every position that a parse expands, found once and shared
// by all the passes of a parse. A position inside a nice-length match is not
// expanded: the parse jumps over it.
class MatchTable {
 public:
  MatchTable(std::span<const uint8_t> input, uint32_t short_depth, uint32_t long_depth,
             uint32_t nice_length);

  bool Expanded(uint32_t position) const { return starts_[position] != kSkipped; }
  std::span<const Match> At(uint32_t position) const {
    return {matches_.data() + starts_[position], counts_[position]};
  }
  uint32_t CommonLength(uint32_t earlier, uint32_t position, uint32_t limit) const {
    return finder_.CommonLength(earlier, position, limit);
  }

 private:
  static constexpr uint32_t kSkipped = 0xFFFFFFFFu;
  MatchFinder finder_;
  std::vector<Match> matches_;
  std::vector<uint32_t> starts_;  // per position
  std::vector<uint16_t> counts_;
};

}  // namespace kv::compressor
