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
  std::optional<std::filesystem::path> signingKey;  // private key (sign needs one)
  // A second private key: version.html.sig2 too (a change of keys); without one, a
  // version.html.sig2 in the folder is removed (it would not verify the new page).
  std::optional<std::filesystem::path> secondSigningKey;
  std::optional<int> expiresInDays;  // the new expiry: today (UTC) + this
  bool noExpiry = false;  // no expiry line; one of the two is needed when there was one
};

// Writes the signature of `page` beside it with `signer` (version.html.sig) and, when
// there is one, with `secondSigner` (version.html.sig2), and checks each the way the
// updater checks it, with the key's public half. Empty when done; else why not (the
// signature that failed is not left).
std::string SignVersionPage(const PackageSigner& signer,
                            const std::optional<PackageSigner>& secondSigner,
                            const std::filesystem::path& page);

// Re-signs the mirror folder: version.html keeps every byte but its expiry lines (after
// its first empty line), gets the new one if asked, and a new version.html.sig (and
// .sig2 with a second key). A version.html that has an expiry line keeps protection
// only as asked: without expiresInDays or noExpiry it is refused, since the folder does
// not record the period the line was made with. Refused
// unless version.html gives three digits, the folder holds the English package, and
// every package of that version the folder holds or version.html names has a digest
// line that its SHA-256 matches: a signature never vouches for what the folder does
// not hold. The new pair is written and checked in a working folder inside the mirror
// folder, then renamed over the old one (version.html first); see PutPairInPlace.
// Reports on `out` and `err`, like make.
int SignMirror(const SignRequest& request, std::FILE* out, std::FILE* err);

}  // namespace vlrpub
