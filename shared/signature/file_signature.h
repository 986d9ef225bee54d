// Whether a downloaded file is the one the publisher signed.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/plain_file.h"

namespace vlr {

// The largest signature file read: a DER P-256 signature is at most 72 bytes.
inline constexpr std::size_t kMaxSignatureFileBytes = 256;

// True when the file at `signaturePath` holds, in the DER form `openssl dgst -sha256
// -sign` writes, a valid ECDSA P-256 signature over the SHA-256 digest of the bytes of
// the file at `path`, made with the private half of `publicKey` (65-byte point).
// False when the key is empty or malformed, when either file is missing or cannot be
// read, when the signature file is larger than kMaxSignatureFileBytes or not strict
// DER, and when the signature does not match. Both files are left as they are.
bool IsSignedBy(std::span<const std::uint8_t> publicKey, const std::wstring& path,
                const std::wstring& signaturePath);

// The same for several keys and the bytes of a held file, read from its first byte:
// the position in `keys` of the first key that verifies the signature, nothing when
// none does (or when `keys` is empty or a file cannot be read). The file is left at
// its end, or wherever a failed read stopped.
std::optional<std::size_t> VerifyingKey(std::span<const std::span<const std::uint8_t>> keys,
                                        platform::PlainFile& file, const std::wstring& signaturePath);

}  // namespace vlr
