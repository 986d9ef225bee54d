// The public key that packages are checked against, built into the program.
#pragma once

#include <cstdint>
#include <span>

namespace vlr {

// The ECDSA P-256 public key as its 65-byte uncompressed point (04 || X || Y), or an
// empty span in a build without a key, which checks nothing and fetches no signature.
// Defined by the file cmake/PackageKey.cmake writes, so the key is chosen at link time.
std::span<const std::uint8_t> PackageKey();

}  // namespace vlr
