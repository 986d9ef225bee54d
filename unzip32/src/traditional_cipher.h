// The traditional PKWARE stream cipher ("ZipCrypto"): three 32-bit keys updated with
// every plain byte, and a 12-byte header in front of the data whose last byte checks
// the password.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "zip_records.h"

namespace uz32 {

class TraditionalCipher {
 public:
  explicit TraditionalCipher(std::string_view password);
  // Decrypts data in place, continuing the key stream from the previous call.
  void Decrypt(std::span<uint8_t> data);

 private:
  void Update(uint8_t plain);
  uint8_t StreamByte() const;

  uint32_t key0_ = 0x12345678u;
  uint32_t key1_ = 0x23456789u;
  uint32_t key2_ = 0x34567890u;
};

using EncryptionHeader = std::array<uint8_t, kEncryptionHeaderSize>;

// True when password turns header's last byte into the member's check byte: the high
// byte of the CRC or, for members written with a data descriptor, the high byte of the
// DOS time (either is taken then, as writers differ). One wrong password in about 128
// to 256 passes; the CRC catches those.
bool PasswordPassesCheck(std::string_view password, const EncryptionHeader& header,
                         const ZipEntry& e);

}  // namespace uz32
