// Building a signature table from a payload, with every offset checked
// against the payload's end, and the lookups over a built table.
#include "database/signature_table.h"

#include <cstring>

#include "common/ascii.h"

namespace kv {
namespace {

// One record's head, and where its name lies inside the payload.
struct RecordSpan {
  SignatureHead head;
  size_t name_offset;
  size_t name_length;  // without the NUL
};

// Locates the record at `offset`; false when its head or name would run
// past the end of the payload.
bool LocateRecord(std::span<const uint8_t> payload, size_t offset, RecordSpan* out) {
  if (payload.size() - offset < kSignatureHeadSize) return false;
  out->head = ReadSignatureHead(payload.data() + offset);
  const uint64_t name = uint64_t{offset} + kSignatureHeadSize + out->head.gap_length;
  if (name >= payload.size()) return false;
  const auto* start = payload.data() + name;
  const void* nul = std::memchr(start, 0, payload.size() - name);
  if (nul == nullptr) return false;
  out->name_offset = static_cast<size_t>(name);
  out->name_length = static_cast<size_t>(static_cast<const uint8_t*>(nul) - start);
  return true;
}

}  // namespace

std::unique_ptr<SignatureTable> SignatureTable::Build(std::span<const uint8_t> payload,
                                                      int32_t declared_count) {
  // A count the payload cannot hold must not size any allocation.
  const size_t most = payload.size() / kMinSignatureRecordSize;
  const size_t wanted = declared_count < 0 ? 0 : static_cast<size_t>(declared_count);
  const size_t count_limit = wanted < most ? wanted : most;

  // First walk: how many records are whole, and how much their names take.
  size_t taken = 0;
  size_t name_bytes = 0;
  for (size_t offset = 0; taken < count_limit && offset < payload.size(); ++taken) {
    RecordSpan record{};
    if (!LocateRecord(payload, offset, &record)) break;
    name_bytes += record.name_length + 1;
    offset = record.name_offset + record.name_length + 1;
  }

  auto table = std::make_unique<SignatureTable>();
  table->records_.reset(new _PEST_SIGNATURE[taken == 0 ? 1 : taken]);
  table->names_.reset(new char[name_bytes == 0 ? 1 : name_bytes]);
  std::unique_ptr<uint32_t[]> pvts(new uint32_t[taken == 0 ? 1 : taken]);

  // Second walk: copy the records and their names.
  char* next_name = table->names_.get();
  size_t offset = 0;
  for (size_t i = 0; i < taken; ++i) {
    RecordSpan record{};
    LocateRecord(payload, offset, &record);
    _PEST_SIGNATURE& signature = table->records_[i];
    signature.dwPestID = record.head.pest_id;
    signature.dwPVT = record.head.pvt;
    signature.dwExtra1 = record.head.extra1;
    signature.dwExtra2 = record.head.extra2;
    signature.dwAltKey = record.head.alt_key;
    signature.dwFileSize = record.head.file_size;
    std::memcpy(next_name, payload.data() + record.name_offset, record.name_length + 1);
    signature.lpszPestName = next_name;
    next_name += record.name_length + 1;
    if (signature.dwFileSize > table->max_file_size_) {
      table->max_file_size_ = signature.dwFileSize;
    }
    pvts[i] = signature.dwPVT;
    offset = record.name_offset + record.name_length + 1;
  }
  // The index is sized for the declared count, as the statistic has it.
  table->index_ = PvtIndex::Build(std::span<const uint32_t>(pvts.get(), taken),
                                  static_cast<uint32_t>(count_limit));
  table->count_ = taken;
  return table;
}

const _PEST_SIGNATURE* SignatureTable::LookupPVT(uint32_t pvt) const {
  if (!IsComputed(pvt) || count_ == 0) return nullptr;
  const int32_t index = index_.Find(pvt);
  return index < 0 ? nullptr : &records_[static_cast<size_t>(index)];
}

const _PEST_SIGNATURE* SignatureTable::FindPest(uint32_t pvt, uint32_t /*second*/, uint32_t c,
                                                uint32_t d) const {
  if (IsComputed(pvt) && !IsComputed(c) && !IsComputed(d)) {
    const _PEST_SIGNATURE* found = LookupPVT(pvt);
    return found != nullptr ? found : LookupPVT(~pvt);
  }
  for (size_t i = 0; i < count_; ++i) {
    const _PEST_SIGNATURE& signature = records_[i];
    if (IsComputed(pvt) && (signature.dwPVT == pvt || signature.dwPVT == ~pvt)) {
      return &signature;
    }
    if (IsComputed(d) && signature.dwAltKey == d) return &signature;
  }
  return nullptr;
}

const _PEST_SIGNATURE* SignatureTable::FindPestByName(const char* name) const {
  if (name == nullptr) return nullptr;
  for (size_t i = 0; i < count_; ++i) {
    if (EqualsIgnoreAsciiCase(records_[i].lpszPestName, name)) {
      return &records_[i];
    }
  }
  return nullptr;
}

size_t SignatureTable::SizeSearchStart(uint32_t size) const {
  size_t result = 0;
  if (count_ >= 2) {
    // Signed bounds: hi may step below lo (and below 0) on the way out.
    int64_t lo = 0;
    int64_t hi = static_cast<int64_t>(count_) - 1;
    int64_t mid = 0;
    do {
      mid = (lo + hi) / 2;
      const uint32_t at_mid = records_[static_cast<size_t>(mid)].dwFileSize;
      if (at_mid > size) {
        hi = mid - 1;
      } else if (at_mid == size) {
        break;
      } else {
        lo = mid + 1;
      }
    } while (hi > lo);
    result = static_cast<size_t>(mid);
  }
  while (result > 0 && records_[result - 1].dwFileSize == size) --result;
  return result;
}

}  // namespace kv
