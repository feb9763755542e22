// The fingerprint (PVT) index of a signature table: open addressing with
// linear probing over 2n + 1 slots, so it is never more than half full.
#pragma once

#include <cstdint>
#include <memory>

namespace kv {

struct PvtSlot {
  int32_t home;   // the key's home slot; -1 marks an empty slot
  uint32_t key;   // the PVT as stored in the signature
  int32_t index;  // position of the signature in the table
};

class PvtIndex {
 public:
  // An index with room for `record_count` keys: 2 * record_count + 1 slots,
  // all empty. Empty (testing false) when the slots cannot be allocated.
  static PvtIndex Create(uint32_t record_count);

  PvtIndex() = default;
  explicit operator bool() const { return slots_ != nullptr; }

  // Stores `key` at its home slot (key modulo the slot count) or the first
  // free slot after it, wrapping round. Counts one collision when the home
  // slot was taken. REQUIRES: fewer keys inserted than half the slots.
  void Insert(uint32_t key, int32_t index);

  // The index stored with the first inserted `key`, or -1. The second form
  // also tells how many slots the lookup examined.
  int32_t Find(uint32_t key) const;
  int32_t Find(uint32_t key, uint32_t* probes) const;

  uint32_t slot_count() const { return slot_count_; }
  // Insertions whose home slot was already taken.
  int32_t collisions() const { return collisions_; }
  // Slots examined by all insertions so far: the work of building.
  uint64_t build_probes() const { return build_probes_; }

 private:
  std::unique_ptr<PvtSlot[]> slots_;
  uint32_t slot_count_ = 0;
  int32_t collisions_ = 0;
  uint64_t build_probes_ = 0;
};

}  // namespace kv
