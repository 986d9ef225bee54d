// The public key file a publisher makes with `openssl ec -pubout`.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace vlr {

// The 65-byte uncompressed point (04 || X || Y) of the ECDSA P-256 public key in a PEM
// "PUBLIC KEY" block (a SubjectPublicKeyInfo); nullopt for anything else: no such block,
// bad base64, another algorithm or curve, a compressed point. Only decodes; the point
// itself is judged by the system's cryptography when it is used.
std::optional<std::vector<std::uint8_t>> P256PointFromPem(std::string_view pem);

}  // namespace vlr
