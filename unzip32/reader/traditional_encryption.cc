// The traditional PKWARE cipher: three keys updated through CRC-32 steps.
#include "reader/traditional_encryption.h"

#include <array>

namespace kv::zip {
namespace {

constexpr std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}

constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

uint32_t CrcStep(uint32_t crc, uint8_t byte) { return kCrcTable[(crc ^ byte) & 0xFF] ^ (crc >> 8); }

}  // namespace

TraditionalCipher::TraditionalCipher(std::string_view password)
    : keys_{0x12345678u, 0x23456789u, 0x34567890u} {
  for (char c : password) Update(static_cast<uint8_t>(c));
}

uint8_t TraditionalCipher::KeyStreamByte() const {
  const uint32_t temp = (keys_[2] | 2) & 0xFFFF;
  return static_cast<uint8_t>((temp * (temp ^ 1)) >> 8);
}

void TraditionalCipher::Update(uint8_t plain) {
  keys_[0] = CrcStep(keys_[0], plain);
  keys_[1] = (keys_[1] + (keys_[0] & 0xFF)) * 134775813u + 1;
  keys_[2] = CrcStep(keys_[2], static_cast<uint8_t>(keys_[1] >> 24));
}

void TraditionalCipher::Decrypt(uint8_t* bytes, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    bytes[i] ^= KeyStreamByte();
    Update(bytes[i]);
  }
}

void TraditionalCipher::Encrypt(uint8_t* bytes, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    const uint8_t plain = bytes[i];
    bytes[i] ^= KeyStreamByte();
    Update(plain);
  }
}

bool DecryptHeader(TraditionalCipher& cipher, uint8_t (&header)[kEncryptionHeaderSize],
                   uint8_t check_byte) {
  cipher.Decrypt(header, kEncryptionHeaderSize);
  return header[kEncryptionHeaderSize - 1] == check_byte;
}

}  // namespace kv::zip
