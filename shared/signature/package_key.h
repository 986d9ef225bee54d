// The public keys that packages are checked against, built into the program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vlr {

// One ECDSA P-256 public key as its 65-byte uncompressed point (04 || X || Y).
using PublicKeyPoint = std::span<const std::uint8_t>;

// Most keys a build trusts: one for releases and, while keys are being changed or held
// in reserve, a few more.
inline constexpr std::size_t kMaxPackageKeys = 4;

// The keys of the build, in the order the build was given them: a signature holds when
// any one of them verifies it. Empty in a build without a key, which checks nothing and
// fetches no signature. Defined by the file cmake/PackageKey.cmake writes, so the keys
// are chosen at link time.
std::span<const PublicKeyPoint> PackageKeys();

}  // namespace vlr
