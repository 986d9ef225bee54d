// The signature form `openssl dgst -sign` writes, turned into the form CNG verifies.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace vlr {

// r and s of an ECDSA P-256 signature, each 32 bytes big-endian, r first.
using RawP256Signature = std::array<std::uint8_t, 64>;

// Reads a DER ECDSA-Sig-Value, SEQUENCE { INTEGER r, INTEGER s }, with nothing after it.
// Refuses (nullopt) anything not strictly in that form: other tags, long or indefinite
// lengths, lengths that disagree, negative, zero or non-minimal integers, integers wider
// than 32 bytes, and trailing bytes.
std::optional<RawP256Signature> DerToRawP256(std::span<const std::uint8_t> der);

}  // namespace vlr
