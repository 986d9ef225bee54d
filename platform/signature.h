// Checking a file's ECDSA P-256 / SHA-256 signature, and a file's SHA-256, with the
// system's cryptography: CNG (bcrypt.dll) on Windows, OpenSSL's libcrypto on Linux.
// Nothing is computed here.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace platform {

// SEQUENCE { SEQUENCE { id-ecPublicKey, prime256v1 }, BIT STRING (66 bytes) }: the DER
// SubjectPublicKeyInfo of a P-256 key up to its 65-byte uncompressed point.
inline constexpr std::array<std::uint8_t, 26> kP256SpkiHeader = {
    0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2a, 0x86, 0x48, 0xce, 0x3d, 0x02, 0x01,
    0x06, 0x08, 0x2a, 0x86, 0x48, 0xce, 0x3d, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00};

// True when `signature` (r || s, 32 bytes each, big-endian) is a valid ECDSA P-256
// signature over the SHA-256 digest of the bytes of the file at `path`, made with the
// private half of `publicKey` (the 65-byte uncompressed point 04 || X || Y).
// False when it is not, when the key is not a point of the curve, or when the file
// cannot be opened or read to its end. The file is read in pieces, so memory stays
// small whatever its size; it is left unchanged.
bool VerifyP256FileSignature(std::span<const std::uint8_t> publicKey, const std::wstring& path,
                             std::span<const std::uint8_t, 64> signature);

// The SHA-256 digest of the bytes of the file at `path`. Nothing when the file cannot be
// opened or read to its end. The file is read in pieces, so memory stays small whatever
// its size; it is left unchanged.
std::optional<std::array<std::uint8_t, 32>> Sha256OfFile(const std::wstring& path);

}  // namespace platform
