// Fuzz target: decoded payloads as the two record tables read them. The
// first four bytes are the header's record count, the rest the payload; every
// record taken is then looked up and copied the way the exports do.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>

#include "database/pest_info_table.h"
#include "database/signature_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  int32_t declared_count;
  std::memcpy(&declared_count, data, 4);
  const std::span<const uint8_t> payload(data + 4, size - 4);

  if (const auto table = kv::SignatureTable::Build(payload, declared_count)) {
    for (int32_t i = 0; i < table->count(); ++i) {
      const _PEST_SIGNATURE& record = table->at(static_cast<size_t>(i));
      if (table->FindPestByName(record.lpszPestName) == nullptr) __builtin_trap();
      table->FindPest(record.dwPVT, 0, 0, 0);
      table->FindPest(0xFFFFFFFFu, 0, 0, record.dwAltKey);
      table->SizeSearchStart(record.dwFileSize);
    }
  }

  kv::PestInfoTable info;
  info.Parse(payload, declared_count);
  for (int32_t i = 0; i < info.count(); ++i) {
    const kv::PestInfoRecord* record = info.At(i);
    if (record == nullptr || info.ById(record->pest_id) == nullptr) __builtin_trap();
    kv::FreeDetailedPestInformation(kv::CopyForHost(*record));
  }
  return 0;
}
