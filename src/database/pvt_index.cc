// PVT index: the collision statistic from a union-find over the probing
// table's slots, the keys radix-sorted with the first record of each, and
// lookups by directory bucket and binary search.
#include "database/pvt_index.h"

#include <bit>
#include <new>
#include <utility>

namespace kv {
namespace {

template <typename T>
std::unique_ptr<T[]> NewArray(size_t count) {
  return std::unique_ptr<T[]>(new (std::nothrow) T[count == 0 ? 1 : count]);
}

// Linear probing replayed without probing. The slots fall into runs of taken
// slots, each ended by the free slot a key arriving in it would take; one
// union-find set per run and its free slot, whose root records that slot.
// Path halving and union by rank keep every step near constant.
class FreeSlotFinder {
 public:
  bool Allocate(uint32_t slot_count) {
    slot_count_ = slot_count;
    parent_ = NewArray<uint32_t>(slot_count);
    free_slot_ = NewArray<uint32_t>(slot_count);
    rank_ = NewArray<uint8_t>(slot_count);
    if (!parent_ || !free_slot_ || !rank_) return false;
    for (uint32_t slot = 0; slot < slot_count; ++slot) {
      parent_[slot] = slot;
      free_slot_[slot] = slot;
      rank_[slot] = 0;
    }
    return true;
  }

  // The first free slot from `slot` on, wrapping round.
  uint32_t FirstFreeFrom(uint32_t slot) { return free_slot_[Root(slot)]; }

  // Takes the free slot `slot`: its run joins the run (or free slot) after
  // it, whose free slot becomes theirs. REQUIRES another free slot.
  void Take(uint32_t slot) {
    uint32_t taken = Root(slot);
    uint32_t next = Root(slot + 1 == slot_count_ ? 0 : slot + 1);
    const uint32_t free_slot = free_slot_[next];
    if (rank_[taken] > rank_[next]) std::swap(taken, next);
    if (rank_[taken] == rank_[next]) ++rank_[next];
    parent_[taken] = next;
    free_slot_[next] = free_slot;
  }

  uint64_t steps() const { return steps_; }

 private:
  uint32_t Root(uint32_t slot) {
    while (parent_[slot] != slot) {
      parent_[slot] = parent_[parent_[slot]];
      slot = parent_[slot];
      ++steps_;
    }
    return slot;
  }

  uint32_t slot_count_ = 0;
  std::unique_ptr<uint32_t[]> parent_;
  std::unique_ptr<uint32_t[]> free_slot_;
  std::unique_ptr<uint8_t[]> rank_;
  uint64_t steps_ = 0;
};

// The directory bucket of a key: its top `bits` bits.
uint32_t TopBits(uint32_t key, uint32_t bits) {
  return static_cast<uint32_t>((uint64_t{key} << bits) >> 32);
}

}  // namespace

bool PvtIndex::Build(std::span<const uint32_t> keys, uint32_t capacity, PvtIndex* out) {
  PvtIndex index;
  index.slot_count_ = 2 * capacity + 1;
  const auto count = static_cast<uint32_t>(keys.size());

  // The statistic: each key in turn takes the first free slot from its home.
  {
    FreeSlotFinder finder;
    if (!finder.Allocate(index.slot_count_)) return false;
    for (const uint32_t key : keys) {
      const uint32_t home = key % index.slot_count_;
      const uint32_t slot = finder.FirstFreeFrom(home);
      if (slot != home) ++index.collisions_;
      finder.Take(slot);
    }
    index.build_probes_ = count + finder.steps();
  }

  // Keys sorted by three stable counting passes of 11, 11 and 10 bits, so
  // that equal keys keep their record order.
  auto entries = NewArray<Entry>(count);
  auto scratch = NewArray<Entry>(count);
  if (!entries || !scratch) return false;
  for (uint32_t i = 0; i < count; ++i) entries[i] = {keys[i], static_cast<int32_t>(i)};
  constexpr uint32_t kDigitBits = 11;
  for (uint32_t shift = 0; shift < 32; shift += kDigitBits) {
    uint32_t starts[(1u << kDigitBits) + 1] = {};
    const auto digit = [shift](uint32_t key) { return (key >> shift) & ((1u << kDigitBits) - 1); };
    for (uint32_t i = 0; i < count; ++i) ++starts[digit(entries[i].key) + 1];
    for (uint32_t d = 1; d <= (1u << kDigitBits); ++d) starts[d] += starts[d - 1];
    for (uint32_t i = 0; i < count; ++i) scratch[starts[digit(entries[i].key)]++] = entries[i];
    entries.swap(scratch);
  }
  scratch.reset();

  // Only the first record of each key can be found.
  uint32_t distinct = 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (distinct == 0 || entries[distinct - 1].key != entries[i].key)
      entries[distinct++] = entries[i];
  }

  // About one key per bucket; keys that crowd into one bucket cost a binary
  // search among them, never a walk.
  index.directory_bits_ = distinct <= 1 ? 0 : static_cast<uint32_t>(std::bit_width(distinct - 1));
  const uint32_t buckets = 1u << index.directory_bits_;
  index.directory_ = NewArray<uint32_t>(buckets + 1);
  if (!index.directory_) return false;
  uint32_t next = 0;
  for (uint32_t bucket = 0; bucket <= buckets; ++bucket) {
    while (next < distinct && TopBits(entries[next].key, index.directory_bits_) < bucket) ++next;
    index.directory_[bucket] = next;
  }
  index.entries_ = std::move(entries);
  *out = std::move(index);
  return true;
}

int32_t PvtIndex::Find(uint32_t key) const {
  uint32_t probes = 0;
  return Find(key, &probes);
}

int32_t PvtIndex::Find(uint32_t key, uint32_t* probes) const {
  *probes = 0;
  if (!directory_) return -1;
  const uint32_t bucket = TopBits(key, directory_bits_);
  uint32_t low = directory_[bucket];
  uint32_t high = directory_[bucket + 1];
  while (low < high) {
    const uint32_t middle = low + (high - low) / 2;
    ++*probes;
    const Entry& entry = entries_[middle];
    if (entry.key == key) return entry.index;
    if (entry.key < key) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return -1;
}

}  // namespace kv
