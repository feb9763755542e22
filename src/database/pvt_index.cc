// PVT index: insertion with a collision count, and lookup that stops at the
// first empty slot.
#include "database/pvt_index.h"

#include <new>

namespace kv {

PvtIndex PvtIndex::Create(uint32_t record_count) {
  PvtIndex index;
  const uint32_t slot_count = 2 * record_count + 1;
  index.slots_.reset(new (std::nothrow) PvtSlot[slot_count]);
  if (!index.slots_) return index;
  index.slot_count_ = slot_count;
  for (uint32_t i = 0; i < slot_count; ++i) index.slots_[i] = {-1, 0, 0};
  return index;
}

void PvtIndex::Insert(uint32_t key, int32_t index) {
  const uint32_t home = key % slot_count_;
  uint32_t slot = home;
  if (slots_[slot].home != -1) ++collisions_;
  ++build_probes_;
  while (slots_[slot].home != -1) {
    slot = slot + 1 == slot_count_ ? 0 : slot + 1;
    ++build_probes_;
  }
  slots_[slot] = {static_cast<int32_t>(home), key, index};
}

int32_t PvtIndex::Find(uint32_t key) const {
  uint32_t probes = 0;
  return Find(key, &probes);
}

int32_t PvtIndex::Find(uint32_t key, uint32_t* probes) const {
  *probes = 0;
  if (slot_count_ == 0) return -1;
  uint32_t slot = key % slot_count_;
  while (*probes < slot_count_) {
    ++*probes;
    const PvtSlot& entry = slots_[slot];
    if (entry.home == -1) return -1;
    if (entry.key == key) return entry.index;
    slot = slot + 1 == slot_count_ ? 0 : slot + 1;
  }
  return -1;
}

}  // namespace kv
