// The fingerprint of a file on disk: its head CRC (the PVT signatures match)
// and the CRC-32 of its first 4096 bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kv {

inline constexpr uint32_t kNoFingerprint = 0xFFFFFFFFu;
inline constexpr size_t kLongHeadLength = 4096;

struct Fingerprint {
  uint32_t head_crc = kNoFingerprint;
  uint32_t long_head_crc = kNoFingerprint;
};

// Both CRCs of a head already in memory: `head` holds the first `length`
// bytes of the content (all of it when shorter than the long head), length
// at least 1.
Fingerprint FingerprintOfHead(const uint8_t* head, size_t length);

// Computes both CRCs of the regular file at `path`, opened so that a file
// another party holds open for writing is refused (on Windows). False, with
// both values kNoFingerprint, for a file that cannot be opened, is empty, or
// is 4 GiB or larger. Bytes a short read leaves out count as zeros.
bool ComputeFingerprint(const char* path, Fingerprint* fingerprint);

}  // namespace kv
