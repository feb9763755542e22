// KVFILE.DAT payload and file builders.
#include "support/signature_file.h"

#include "common/byte_order.h"

namespace kv::test {

Bytes SignaturePayload(const std::vector<SignatureRecord>& records) {
  Bytes payload;
  for (const SignatureRecord& record : records) {
    const uint32_t words[8] = {record.pest_id,  record.pvt,      record.extra1,
                               record.extra2,   record.alt_key,  record.file_size,
                               0xDEADBEEFu,     record.gap_length};
    const size_t at = payload.size();
    payload.resize(at + sizeof words);
    for (int i = 0; i < 8; ++i) StoreLe32(&payload[at + 4 * i], words[i]);
    for (uint32_t i = 0; i < record.gap_length; ++i) {
      payload.push_back(static_cast<uint8_t>(0xA0 + i));
    }
    payload.insert(payload.end(), record.name.begin(), record.name.end());
    payload.push_back(0);
  }
  return payload;
}

Bytes SignatureFile(const std::vector<SignatureRecord>& records,
                    std::optional<int32_t> declared_count) {
  ContainerOptions options;
  options.record_count =
      declared_count.value_or(static_cast<int32_t>(records.size()));
  return MakeDataFile(LiteralBlock(SignaturePayload(records)), options);
}

}  // namespace kv::test
