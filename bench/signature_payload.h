// A generated signature payload of realistic shape: many pests with one to
// four signatures each, names from families and variants, sizes from a few
// hundred bytes to megabytes, in ascending size order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kv::bench {

std::vector<uint8_t> GeneratedSignaturePayload(size_t record_count, uint64_t seed);

}  // namespace kv::bench
