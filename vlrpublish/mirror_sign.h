// vlrpublish sign: a new signature, and a new expiry, for a mirror folder that exists,
// as a scheduled job runs it; and the signing step make shares.
#pragma once

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "vlrpublish/package_signing.h"

namespace vlrpub {

struct SignRequest {
  std::filesystem::path mirror;      // the mirror folder: version.html and the packages
  std::filesystem::path signingKey;  // private key
  std::optional<int> expiresInDays;  // the new expiry: today (UTC) + this; none: no line
};

// Writes `page` + ".sig" with `signer` and checks it the way the updater checks it, with
// the key's public half. Empty when done; else why not (no signature file is left).
std::string SignVersionPage(const PackageSigner& signer, const std::filesystem::path& page);

// Re-signs the mirror folder: version.html keeps every byte but its expiry lines (after
// its first empty line), gets the new one if asked, and a new version.html.sig. Refused
// unless version.html gives three digits, the folder holds the English package, and
// every package of that version the folder holds or version.html names has a digest
// line that its SHA-256 matches: a signature never vouches for what the folder does
// not hold. The new pair is written and checked in a working folder inside the mirror
// folder, then renamed over the old one (version.html first); see PutPairInPlace.
// Reports on `out` and `err`, like make.
int SignMirror(const SignRequest& request, std::FILE* out, std::FILE* err);

}  // namespace vlrpub
