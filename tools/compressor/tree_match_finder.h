// Binary-tree match finder: every position of the window sits in a tree of
// the positions that share a hash of its first eight bytes, ordered by the
// bytes that follow. One walk down from the root both inserts a position and
// meets, for each match length, the nearest earlier position that matches
// that far, in far fewer steps than a hash chain needs to reach it.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "match_finder.h"
#include "platform/memory.h"

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
  //
  // Find searches a few positions at once, and a later Find or Skip of one
  // of them only hands over what was found: walks down different trees do
  // not depend on each other, so taking their steps by turns lets the
  // memory loads of one overlap those of the others. A position searched
  // ahead is in the trees even if it is then skipped.
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
  // tables; longer prefixes keep the trees small and the walks short, and
  // the few steps a walk may take then reach farther back.
  static constexpr uint32_t kRootPrefix = 8;
  // Positions searched together.
  static constexpr uint32_t kBatch = 4;
  // Sides of a walk's open links. A node that orders before the position
  // hangs on the before side, and what may still order after it lies behind
  // its link 2n + 1; the other way round for the after side.
  static constexpr unsigned kAfterSide = 0;
  static constexpr unsigned kBeforeSide = 1;

  // One walk down a tree, inserting or looking up a position. Once started
  // it must stay where it is: its open links may point into `scratch`.
  struct Walk {
    uint32_t position;
    uint32_t available;  // bytes a match may cover
    uint32_t limit;      // bytes the tree compares
    uint32_t candidate;
    uint32_t steps;  // left
    uint32_t best;   // longest match found
    bool insert;
    // The open links of the new node, by side: where the next position
    // ordering after it, and before it, hangs. Every node below a link
    // shares `lengths[side]` bytes with the position. A lookup links nothing.
    uint32_t* links[2];
    uint32_t lengths[2];
    uint32_t scratch[2];
    std::vector<Match>* candidates;
  };

  // The matches of one position: every candidate met, then those that no
  // nearer one equals in length.
  struct Search {
    uint32_t position = 0;
    uint32_t available = 0;
    std::vector<Match> candidates;
    std::vector<Match> found;
  };

  uint32_t Hash4(uint32_t position) const;
  uint32_t HashRoot(uint32_t position) const;
  // The eight bytes at `position` are all the same.
  bool IsRun(uint32_t position) const;
  // Updates the direct tables; with `available` of 2 or more, their
  // candidates go to `candidates`.
  void VisitTables(uint32_t position, uint32_t available, std::vector<Match>* candidates);
  // Whether a position goes into a tree. Inside a run of one byte, the
  // nearest pair already gives the run and whatever follows it as far as the
  // previous position matched; the trees leave such positions out, which
  // would otherwise crowd into one tree.
  bool TakesTree(uint32_t position) const;
  void StartWalk(Search* search, Walk* walk);
  // Takes one step; false once the walk has ended and closed its links.
  bool Step(Walk* walk);
  // Visits the tables and walks the trees for the `count` positions from
  // `position` on, in order; a walk adds every match longer than the one
  // before, cut to the available bytes, to its search's candidates.
  void SearchBatch(uint32_t position, uint32_t count, uint32_t end);
  bool InBatch(uint32_t position) const;
  static void KeepNearestOfEachLength(Search* search);

  std::span<const uint8_t> input_;
  unsigned hash_bits_;
  unsigned root_bits_;
  uint32_t window_mask_;  // ring index of a position; the window is mask + 1
  uint32_t reach_;        // farthest a walk goes back
  uint32_t depth_;
  uint32_t nice_length_;
  std::vector<uint32_t> head2_;
  std::vector<uint32_t> head4_;
  platform::LargeTable roots_;
  // Two links per ring slot: 2n to the earlier positions whose bytes order
  // before those of the slot's position n, 2n + 1 to those after.
  platform::LargeTable children_;
  // The positions searched together: searches_[i] is batch_begin_ + i.
  Search searches_[kBatch];
  uint32_t batch_begin_ = 0;
  uint32_t batch_count_ = 0;
};

}  // namespace kv::compressor
