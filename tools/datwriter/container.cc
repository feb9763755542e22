// Container writer: magic, format date, record count, scrambled body, and
// the check word over the body exactly as stored.
#include "container.h"

#include <cstring>

#include "common/byte_order.h"
#include "common/container_format.h"
#include "common/crc32.h"

namespace kv::datwriter {

std::vector<uint8_t> ScrambleBlock(std::span<const uint8_t> block) {
  std::vector<uint8_t> stored(block.size());
  uint8_t previous = 0;
  for (size_t i = 0; i < block.size(); ++i) {
    stored[i] = i == 0 ? static_cast<uint8_t>(block[0] ^ kScrambleFirstKey)
                       : static_cast<uint8_t>((block[i] ^ kScrambleKey) + previous);
    previous = stored[i];
  }
  return stored;
}

std::vector<uint8_t> MakeContainer(std::span<const uint8_t> block, uint32_t record_count) {
  std::vector<uint8_t> file(kContainerHeaderSize, 0);
  std::memcpy(file.data(), kContainerMagic, sizeof kContainerMagic);
  StoreLe32(&file[kFormatDateOffset], kFormatDateLow);
  StoreLe32(&file[kFormatDateOffset + 4], kFormatDateHigh);
  StoreLe32(&file[kRecordCountOffset], record_count);
  const std::vector<uint8_t> body = ScrambleBlock(block);
  file.insert(file.end(), body.begin(), body.end());
  StoreLe32(&file[kCheckWordOffset], Crc32(body.data(), body.size()) ^ kCheckWordMask);
  return file;
}

bool ReadContainerHeader(std::span<const uint8_t> image, ContainerHeader* header) {
  if (image.size() < kContainerHeaderSize) return false;
  const std::span<const uint8_t> body = image.subspan(kContainerHeaderSize);
  header->check_word = LoadLe32(image.data() + kCheckWordOffset);
  header->expected_check_word = Crc32(body.data(), body.size()) ^ kCheckWordMask;
  header->date_low = LoadLe32(image.data() + kFormatDateOffset);
  header->date_high = LoadLe32(image.data() + kFormatDateOffset + 4);
  header->record_count = static_cast<int32_t>(LoadLe32(image.data() + kRecordCountOffset));
  header->body_size = body.size();
  return true;
}

}  // namespace kv::datwriter
