// Binary-tree match finder: every position of the window sits in a tree of
// the positions that share a hash of its first six bytes, ordered by the
// bytes that follow. One walk down from the root both inserts a position and
// meets, for each match length, the nearest earlier position that matches
// that far, in far fewer steps than a hash chain needs to reach it.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "match_finder.h"

namespace kv::compressor {

class TreeMatchFinder {
 public:
  // `depth` bounds the steps of one walk; a walk also stops at a match of
  // `nice_length` bytes, which then takes the place of the earlier position
  // in the tree. The trees reach back less than 2^`window_bits` bytes (at
  // least 64 KiB; the whole input when it is smaller).
  TreeMatchFinder(std::span<const uint8_t> input, uint32_t depth, uint32_t nice_length,
                  unsigned window_bits);

  // Matches at `position` that end at or before `end`, each longer and
  // farther than the one before; the nearest occurrence of the first two
  // bytes comes first. Adds the position to the trees. Positions must be
  // visited in increasing order, each once, through either Find or Skip.
  std::span<const Match> Find(uint32_t position, uint32_t end);
  // Visits a position without searching: only the nearest-pair tables learn
  // it, and it stays out of the trees.
  void Skip(uint32_t position);

  uint32_t CommonLength(uint32_t earlier, uint32_t position, uint32_t limit) const;

 private:
  static constexpr uint32_t kNone = 0xFFFFFFFFu;
  static constexpr unsigned kHashBits = 16;
  static constexpr unsigned kMaxRootBits = 20;
  // Bytes hashed for a tree root. Shorter matches come from the direct
  // tables; longer prefixes keep the trees small and the walks short.
  static constexpr uint32_t kRootPrefix = 6;
  // Sides of a walk's open links. A node that orders before the position
  // hangs on the before side, and what may still order after it lies behind
  // its link 2n + 1; the other way round for the after side.
  static constexpr unsigned kAfterSide = 0;
  static constexpr unsigned kBeforeSide = 1;

  uint32_t Hash3(uint32_t position) const;
  uint32_t HashRoot(uint32_t position) const;
  // The eight bytes at `position` are all the same.
  bool IsRun(uint32_t position) const;
  // Updates the direct tables; with `available` of 2 or more, their
  // candidates go to candidates_.
  void VisitTables(uint32_t position, uint32_t available);
  // Inserts `position` into its tree, adding to candidates_ every match
  // longer than the one before, cut to `available` bytes.
  void Descend(uint32_t position, uint32_t available);

  std::span<const uint8_t> input_;
  unsigned hash_bits_;
  unsigned root_bits_;
  uint32_t window_mask_;  // ring index of a position; the window is mask + 1
  uint32_t depth_;
  uint32_t nice_length_;
  std::vector<uint32_t> head2_;
  std::vector<uint32_t> head3_;
  std::vector<uint32_t> roots_;
  // Two links per ring slot: 2n to the earlier positions whose bytes order
  // before those of the slot's position n, 2n + 1 to those after.
  std::vector<uint32_t> children_;
  std::vector<Match> candidates_;
  std::vector<Match> found_;
};

}  // namespace kv::compressor
