// vlrpublish make: a mirror folder with the packages and version.html, which names each
// package's SHA-256, checked through the updater's own version reading and extraction
// library before it is put in place.
#pragma once

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

namespace vlrpub {

struct MakeRequest {
  std::string version;                          // "7.5.3"
  std::filesystem::path english;                // files of vlrNNN.zip
  std::optional<std::filesystem::path> french;  // files of vlrNNNfr.zip
  std::filesystem::path mirror;                 // the folder to write
  bool force = false;  // replace an existing folder that holds only a mirror's files
  std::optional<std::filesystem::path> signingKey;  // private key: write version.html.sig
  // A second private key: write version.html.sig2 too (a change of keys).
  std::optional<std::filesystem::path> secondSigningKey;
  std::optional<int> expiresInDays;  // version.html's expiry line: today (UTC) + this
};

// Makes the mirror: first mends what an interrupted run left beside `mirror` (see
// RecoverInterruptedRun), then writes everything into a new folder beside it, checks
// it, and swaps it into place (an existing `mirror` is replaced only when `force` is set
// and it holds nothing but a mirror's files). Reports on `out` (what was made) and `err`
// (why not). On any failure the mirror folder is as it was and no folder of ours is
// left beside it.
int MakeMirror(const MakeRequest& request, std::FILE* out, std::FILE* err);

}  // namespace vlrpub
