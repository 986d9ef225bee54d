// The SHA-256 of a package, in the form the version file's digest lines give it.
#pragma once

#include <filesystem>
#include <string>

namespace vlrpub {

// The SHA-256 of the bytes of `file` as 64 lower-case hex digits, computed by the
// system's cryptography as the updater computes it. Empty when the file cannot be read
// to its end. The file is left unchanged.
std::string Sha256Hex(const std::filesystem::path& file);

}  // namespace vlrpub
