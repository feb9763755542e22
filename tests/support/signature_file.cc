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

std::vector<SignatureRecord> HostileSignatures(Hostile kind, uint32_t n) {
  const uint64_t slots = 2 * uint64_t{n} + 1;
  const uint64_t distinct = (0xFFFFFFFFu - 5) / slots + 1;  // residue-5 values
  std::vector<SignatureRecord> records(n);
  for (uint32_t i = 0; i < n; ++i) {
    const uint64_t pvt = kind == Hostile::kEqualPvts ? 0x12345678u : 5 + (i % distinct) * slots;
    records[i] = {
        .pest_id = 1, .pvt = static_cast<uint32_t>(pvt), .file_size = 200, .name = "Pest"};
  }
  return records;
}

}  // namespace kv::test
