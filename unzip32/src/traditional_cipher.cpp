#include "traditional_cipher.h"

#include <zlib.h>

namespace uz32 {
namespace {

uint32_t CrcByte(uint32_t crc, uint8_t b) {
  static const z_crc_t* const table = get_crc_table();
  return static_cast<uint32_t>(table[(crc ^ b) & 0xFF]) ^ (crc >> 8);
}

}  // namespace

TraditionalCipher::TraditionalCipher(std::string_view password) {
  for (char c : password) Update(static_cast<uint8_t>(c));
}

void TraditionalCipher::Update(uint8_t plain) {
  key0_ = CrcByte(key0_, plain);
  key1_ = (key1_ + (key0_ & 0xFF)) * 134775813u + 1;
  key2_ = CrcByte(key2_, static_cast<uint8_t>(key1_ >> 24));
}

uint8_t TraditionalCipher::StreamByte() const {
  const uint32_t t = (key2_ | 2) & 0xFFFF;
  return static_cast<uint8_t>((t * (t ^ 1)) >> 8);
}

void TraditionalCipher::Decrypt(std::span<uint8_t> data) {
  for (uint8_t& b : data) {
    b = static_cast<uint8_t>(b ^ StreamByte());
    Update(b);
  }
}

bool PasswordPassesCheck(std::string_view password, const EncryptionHeader& header,
                         const ZipEntry& e) {
  EncryptionHeader plain = header;
  TraditionalCipher(password).Decrypt(plain);
  const uint8_t last = plain.back();
  if (last == static_cast<uint8_t>(e.crc >> 24)) return true;
  return (e.flags & kFlagDataDescriptor) != 0 && last == static_cast<uint8_t>(e.dosTime >> 8);
}

}  // namespace uz32
