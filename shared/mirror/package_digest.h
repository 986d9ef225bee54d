// The SHA-256 of a package, in the form the version file's digest lines give it
// (64 lower-case hex digits), computed by the system's cryptography: the updater and
// vlrpublish take it alike.
#pragma once

#include <filesystem>
#include <string>

#include "platform/plain_file.h"

namespace vlr {

// The SHA-256 of the held file from its first byte; empty when it cannot be read.
std::string Sha256Hex(platform::PlainFile& file);

// The SHA-256 of the file at `path` (its native name: any name a folder scan gave
// opens); empty when it cannot be read to its end. The file is left unchanged.
std::string Sha256Hex(const std::filesystem::path& path);

}  // namespace vlr
