// PVT index: the collision statistic from a union-find over the probing
// table's slots, the keys radix-sorted with the first record of each and
// laid out at their homes, and lookups that start at the home.
#include "database/pvt_index.h"

#include <algorithm>
#include <utility>

namespace kv {
namespace {

template <typename T>
std::unique_ptr<T[]> NewArray(size_t count) {
  return std::unique_ptr<T[]>(new T[count == 0 ? 1 : count]);
}

// Linear probing replayed without probing. The slots fall into runs of taken
// slots, each ended by the free slot a key arriving in it would take; one
// union-find set per run and its free slot, whose root records that slot.
// Path halving and union by rank keep every step near constant.
class FreeSlotFinder {
 public:
  explicit FreeSlotFinder(uint32_t slot_count)
      : slot_count_(slot_count), nodes_(NewArray<Node>(slot_count)) {
    for (uint32_t slot = 0; slot < slot_count; ++slot) nodes_[slot] = {slot, slot, 0};
  }

  // The first free slot from `slot` on, wrapping round.
  uint32_t FirstFreeFrom(uint32_t slot) { return nodes_[Root(slot)].free_slot; }

  // Takes the free slot `slot`: its run joins the run (or free slot) after
  // it, whose free slot becomes theirs. REQUIRES another free slot.
  void Take(uint32_t slot) {
    uint32_t taken = Root(slot);
    uint32_t next = Root(slot + 1 == slot_count_ ? 0 : slot + 1);
    const uint32_t free_slot = nodes_[next].free_slot;
    if (nodes_[taken].rank > nodes_[next].rank) std::swap(taken, next);
    if (nodes_[taken].rank == nodes_[next].rank) ++nodes_[next].rank;
    nodes_[taken].parent = next;
    nodes_[next].free_slot = free_slot;
  }

  uint64_t steps() const { return steps_; }

 private:
  // One slot's set membership; free_slot and rank count at roots only.
  struct Node {
    uint32_t parent;
    uint32_t free_slot;
    uint32_t rank;
  };

  uint32_t Root(uint32_t slot) {
    while (nodes_[slot].parent != slot) {
      nodes_[slot].parent = nodes_[nodes_[slot].parent].parent;
      slot = nodes_[slot].parent;
      ++steps_;
    }
    return slot;
  }

  uint32_t slot_count_ = 0;
  std::unique_ptr<Node[]> nodes_;
  uint64_t steps_ = 0;
};

// A key's home among `home_count` slots: its share of the 32-bit range, so
// that homes rise with the keys.
uint32_t Home(uint32_t key, uint32_t home_count) {
  return static_cast<uint32_t>((uint64_t{key} * home_count) >> 32);
}

}  // namespace

PvtIndex PvtIndex::Build(std::span<const uint32_t> keys, uint32_t capacity) {
  PvtIndex index;
  const auto count = static_cast<uint32_t>(keys.size());
  // Always more slots than keys, so that every key finds a free one.
  index.slot_count_ = 2 * std::max(capacity, (count + 1) / 2) + 1;

  // The statistic: each key in turn takes the first free slot from its home.
  {
    FreeSlotFinder finder(index.slot_count_);
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

  // Each key goes to its home, or just after the key before it when that
  // one got there first; a place left between two keys repeats the next
  // key, and the places after the last key hold 0xFFFFFFFF and no record, so
  // that the keys never decrease along the layout.
  const uint32_t home_count = 2 * distinct;
  uint64_t size = home_count;
  uint32_t next_free = 0;
  for (uint32_t i = 0; i < distinct; ++i) {
    next_free = std::max(Home(entries[i].key, home_count), next_free) + 1;
    size = std::max<uint64_t>(size, next_free);
  }
  const auto layout_size = static_cast<uint32_t>(size + 1);  // and one beyond the last key
  index.layout_ = NewArray<Entry>(layout_size);
  uint32_t next = 0;
  for (uint32_t i = 0; i < distinct; ++i) {
    const uint32_t place = std::max(Home(entries[i].key, home_count), next);
    while (next <= place) index.layout_[next++] = entries[i];
  }
  while (next < layout_size) index.layout_[next++] = {0xFFFFFFFFu, -1};
  index.home_count_ = home_count;
  index.layout_size_ = layout_size;
  return index;
}

int32_t PvtIndex::Find(uint32_t key) const {
  uint32_t probes = 0;
  return Find(key, &probes);
}

int32_t PvtIndex::Find(uint32_t key, uint32_t* probes) const {
  *probes = 0;
  if (layout_size_ == 0) return -1;
  // The key, if present, lies at its home or after it, at the first place
  // from there whose key is not smaller. Usually that is the home itself;
  // otherwise steps doubling from the home reach a place that is not smaller
  // (the last place always is), and a binary search finds the first.
  uint32_t low = Home(key, home_count_);
  ++*probes;
  if (layout_[low].key >= key) return layout_[low].key == key ? layout_[low].index : -1;
  const uint32_t last = layout_size_ - 1;
  uint32_t high = low;
  for (uint32_t step = 1;; step *= 2) {
    high = last - low <= step ? last : low + step;
    ++*probes;
    if (layout_[high].key >= key) break;
    low = high;
  }
  // layout_[low].key < key <= layout_[high].key
  while (high - low > 1) {
    const uint32_t middle = low + (high - low) / 2;
    ++*probes;
    if (layout_[middle].key >= key) {
      high = middle;
    } else {
      low = middle;
    }
  }
  return layout_[high].key == key ? layout_[high].index : -1;
}

}  // namespace kv
