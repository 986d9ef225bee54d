// Checking a file's ECDSA P-256 / SHA-256 signature, and a file's SHA-256, with the
// system's cryptography: CNG (bcrypt.dll) on Windows, OpenSSL's libcrypto on Linux.
// Nothing is computed here.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/plain_file.h"

namespace platform {

// SEQUENCE { SEQUENCE { id-ecPublicKey, prime256v1 }, BIT STRING (66 bytes) }: the DER
// SubjectPublicKeyInfo of a P-256 key up to its 65-byte uncompressed point.
inline constexpr std::array<std::uint8_t, 26> kP256SpkiHeader = {
    0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2a, 0x86, 0x48, 0xce, 0x3d, 0x02, 0x01,
    0x06, 0x08, 0x2a, 0x86, 0x48, 0xce, 0x3d, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00};

using Sha256Digest = std::array<std::uint8_t, 32>;

// The SHA-256 digest of what `file` holds from where it stands to its end, read in
// pieces so that memory stays small whatever its size; nothing when a read fails.
std::optional<Sha256Digest> Sha256Of(PlainFile& file);

// True when `signature` (r || s, 32 bytes each, big-endian) is a valid ECDSA P-256
// signature over `digest`, made with the private half of `publicKey` (the 65-byte
// uncompressed point 04 || X || Y). False when it is not, or when the key is not a
// point of the curve.
bool VerifyP256Digest(std::span<const std::uint8_t> publicKey, const Sha256Digest& digest,
                      std::span<const std::uint8_t, 64> signature);

}  // namespace platform
