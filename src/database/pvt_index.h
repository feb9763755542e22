// The fingerprint (PVT) index of a signature table: each distinct PVT with
// the first record that carries it, in key order, each at its home (its
// share of the 32-bit range among 2n places) or just after the keys before
// it. Building is linear in the record count; a lookup usually reads one
// place, and compares at most about 2 log2(n) keys whatever the file holds.
// The index also reports the collision count of the linear-probing table
// over 2n + 1 slots that the load statistics have always described.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

namespace kv {

class PvtIndex {
 public:
  // Indexes keys[i] -> i. `capacity` is the record count the file declared
  // (bounded by what its payload can hold): it sets the slot count of the
  // collision statistic, 2 * capacity + 1, raised if need be to exceed the
  // key count. Throws std::bad_alloc when memory runs out.
  static PvtIndex Build(std::span<const uint32_t> keys, uint32_t capacity);

  // The index that belongs to no load: no keys, no slots.
  PvtIndex() = default;

  // The lowest i with keys[i] == key, or -1. The second form also tells how
  // many places the lookup read.
  int32_t Find(uint32_t key) const;
  int32_t Find(uint32_t key, uint32_t* probes) const;

  // 2 * capacity + 1, the slots of the probing table that collisions()
  // describes; 0 for the index of no load.
  uint32_t slot_count() const { return slot_count_; }
  // Insertions, in key order, whose home slot (key modulo slot_count()) was
  // already taken when each key took the first free slot from its home on,
  // wrapping round. Computed without probing.
  int32_t collisions() const { return collisions_; }
  // Steps the build took to find free slots for the collision count: a few
  // per key, whatever the keys are.
  uint64_t build_probes() const { return build_probes_; }

 private:
  struct Entry {
    uint32_t key;
    int32_t index;  // the first record with the key; -1 beyond the last key
  };

  std::unique_ptr<Entry[]> layout_;  // keys never decrease along it
  uint32_t layout_size_ = 0;
  uint32_t home_count_ = 0;
  uint32_t slot_count_ = 0;
  int32_t collisions_ = 0;
  uint64_t build_probes_ = 0;
};

}  // namespace kv
