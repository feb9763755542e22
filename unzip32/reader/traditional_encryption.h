// The traditional PKWARE stream cipher of encrypted ZIP members, and the
// check of its 12-byte header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kv::zip {

inline constexpr size_t kEncryptionHeaderSize = 12;

class TraditionalCipher {
 public:
  explicit TraditionalCipher(std::string_view password);

  // Decrypts `length` bytes in place.
  void Decrypt(uint8_t* bytes, size_t length);
  // Encrypts in place; the tests make encrypted archives with it.
  void Encrypt(uint8_t* bytes, size_t length);

 private:
  uint8_t KeyStreamByte() const;
  void Update(uint8_t plain);

  uint32_t keys_[3];
};

// Decrypts the header in place and tells whether its last byte matches
// `check_byte` (the CRC's high byte, or the time's high byte when the sizes
// follow the data). A wrong password passes this check 1 time in 256; the
// CRC of the data catches the rest.
bool DecryptHeader(TraditionalCipher& cipher, uint8_t (&header)[kEncryptionHeaderSize],
                   uint8_t check_byte);

}  // namespace kv::zip
