// Reading the data-file container: open, magic, date, check word, unscramble,
// expand. Every length comes from the file and is checked before use.
#include "database/data_file.h"

#include <cstring>
#include <optional>

#include "common/byte_order.h"
#include "common/crc32.h"
#include "database/block_decoder.h"
#include "platform/files.h"

namespace kv {
namespace {

bool HasFormatDate(std::span<const uint8_t> image) {
  return LoadLe32(image.data() + kFormatDateOffset) == kFormatDateLow &&
         LoadLe32(image.data() + kFormatDateOffset + 4) == kFormatDateHigh;
}

bool CheckWordMatches(std::span<const uint8_t> image) {
  const std::span<const uint8_t> body = image.subspan(kContainerHeaderSize);
  const uint32_t expected = LoadLe32(image.data() + kCheckWordOffset);
  return (Crc32(body.data(), body.size()) ^ kCheckWordMask) == expected;
}

}  // namespace

size_t DescrambleBlock(std::span<uint8_t> body) {
  if (body.empty()) return 0;
  uint8_t previous_stored = body[0];
  body[0] ^= kScrambleFirstKey;
  for (size_t i = 1; i < body.size(); ++i) {
    const uint8_t stored = body[i];
    body[i] = static_cast<uint8_t>((stored - previous_stored) ^ kScrambleKey);
    previous_stored = stored;
  }
  return body.size();
}

Status DecodeDataFile(std::span<uint8_t> image, DateCheck date_check, DecodedDataFile* out) {
  if (image.size() < sizeof kContainerMagic) return Status::kCorrupt;
  if (std::memcmp(image.data(), kContainerMagic, sizeof kContainerMagic) != 0) {
    return Status::kWrongMagic;
  }
  if (image.size() < kContainerHeaderSize) return Status::kCorrupt;
  if (date_check == DateCheck::kBeforeCheckWord && !HasFormatDate(image)) {
    return Status::kWrongFormatDate;
  }
  if (!CheckWordMatches(image)) return Status::kCorrupt;

  const std::span<uint8_t> body = image.subspan(kContainerHeaderSize);
  DescrambleBlock(body);
  const uint32_t payload_size = GetUncompressedSize(body);
  if (payload_size == 0) return Status::kCorrupt;
  if (payload_size > kMaxPayloadSize) return Status::kOutOfMemory;

  ByteBuffer payload = ByteBuffer::Allocate(payload_size);
  if (DecompressBlock(body, payload.span()) == 0) return Status::kCorrupt;

  if (date_check == DateCheck::kLast && !HasFormatDate(image)) {
    return Status::kWrongFormatDate;
  }
  if (out != nullptr) {
    out->record_count = static_cast<int32_t>(LoadLe32(image.data() + kRecordCountOffset));
    out->payload = std::move(payload);
  }
  return Status::kOk;
}

Status ReadDataFile(const char* path, DateCheck date_check, DecodedDataFile* out,
                    uint32_t* file_size) {
  std::optional<platform::InputFile> file = platform::InputFile::Open(path);
  if (!file) return Status::kCannotOpen;
  const std::optional<uint64_t> size = file->Size();
  if (!size) return Status::kCannotOpen;
  if (file_size != nullptr) *file_size = static_cast<uint32_t>(*size);
  // The format's sizes are 32-bit; a file far beyond the payload limit is
  // refused before its bytes are read into memory.
  if (*size > kMaxPayloadSize + uint64_t{kContainerHeaderSize}) {
    return Status::kOutOfMemory;
  }

  ByteBuffer image = ByteBuffer::Allocate(static_cast<size_t>(*size));
  if (!file->ReadExactly(image.data(), image.size())) {
    return Status::kCorrupt;
  }
  file.reset();
  return DecodeDataFile(image.span(), date_check, out);
}

}  // namespace kv
