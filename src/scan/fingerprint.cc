// Reading a file's head once and computing both head CRCs from it.
#include "scan/fingerprint.h"

#include <algorithm>
#include <array>
#include <optional>

#include "common/crc32.h"
#include "common/head_crc.h"
#include "platform/files.h"

namespace kv {

bool ComputeFingerprint(const char* path, Fingerprint* fingerprint) {
  *fingerprint = Fingerprint{};
  std::optional<platform::InputFile> file =
      platform::InputFile::Open(path, platform::Sharing::kReadOnly);
  if (!file) return false;
  const std::optional<uint64_t> size = file->Size();
  if (!size || *size == 0 || *size > 0xFFFFFFFFu) return false;

  // One read serves both CRCs: the PVT's head is a prefix of the long head.
  std::array<uint8_t, kLongHeadLength> head{};
  const size_t long_head_length = static_cast<size_t>(std::min<uint64_t>(*size, kLongHeadLength));
  file->ReadUpTo(head.data(), long_head_length);
  *fingerprint = FingerprintOfHead(head.data(), long_head_length);
  return true;
}

Fingerprint FingerprintOfHead(const uint8_t* head, size_t length) {
  const size_t long_head_length = std::min(length, kLongHeadLength);
  Fingerprint fingerprint;
  fingerprint.head_crc = HeadCrc(std::span(head, long_head_length));
  fingerprint.long_head_crc = Crc32(head, long_head_length);
  return fingerprint;
}

}  // namespace kv
