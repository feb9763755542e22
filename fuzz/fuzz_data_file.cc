// Fuzz target: a whole data file image, checked and decoded in both orders
// of the date check, then parsed as signatures and as pest information.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "database/data_file.h"
#include "database/pest_info_table.h"
#include "database/signature_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (const kv::DateCheck check : {kv::DateCheck::kBeforeCheckWord, kv::DateCheck::kLast}) {
    std::vector<uint8_t> image(data, data + size);  // decoding unscrambles in place
    kv::DecodedDataFile decoded;
    if (kv::DecodeDataFile(image, check, &decoded) != kv::Status::kOk) continue;
    kv::SignatureTable::Build(decoded.payload.span(), decoded.record_count);
    kv::PestInfoTable info;
    info.Parse(decoded.payload.span(), decoded.record_count);
  }
  return 0;
}
