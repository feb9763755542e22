// The fingerprint (PVT) index of a signature table: each distinct PVT with
// the first record that carries it, sorted and reached through a directory
// of the keys' top bits, so that building is linear in the record count and
// a lookup compares at most log2(n) + 1 keys whatever the file holds. It also
// reports the collision count of the linear-probing table over 2n + 1 slots
// that the load statistics have always described.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

namespace kv {

class PvtIndex {
 public:
  // Indexes keys[i] -> i. `capacity` is the record count the file declared
  // (bounded by what its payload can hold; at least keys.size()): it sets the
  // slot count of the collision statistic, 2 * capacity + 1. False, with
  // `out` untouched, when memory runs out.
  static bool Build(std::span<const uint32_t> keys, uint32_t capacity, PvtIndex* out);

  // The index that belongs to no load: no keys, no slots.
  PvtIndex() = default;

  // The lowest i with keys[i] == key, or -1. The second form also tells how
  // many keys the lookup compared.
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
    int32_t index;
  };

  std::unique_ptr<Entry[]> entries_;  // distinct keys, ascending
  // directory_[b] is the first entry whose key's top bits are b or more;
  // 2^directory_bits_ + 1 of them, the last being the entry count.
  std::unique_ptr<uint32_t[]> directory_;
  uint32_t directory_bits_ = 0;
  uint32_t slot_count_ = 0;
  int32_t collisions_ = 0;
  uint64_t build_probes_ = 0;
};

}  // namespace kv
