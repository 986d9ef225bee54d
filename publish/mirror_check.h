// vlrpublish check: asks a live mirror what the updater would do with it.
#pragma once

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

namespace vlrpub {

struct CheckRequest {
  std::string site;     // HOST/PATH as the updater takes it, with or without http://
  bool french = false;  // the French package instead of the English one
  std::optional<std::filesystem::path> key;  // public key: check version.html.sig too
};

// Exit codes of check (also in README.md).
inline constexpr int kCheckUpdateWorks = 0;
inline constexpr int kCheckUpdateFails = 1;  // an update from this mirror would fail
inline constexpr int kCheckCannotRun = 4;    // no temporary folder, or an unusable --key

// Fetches version.html and the package it names the way the updater would, reports on
// `out` what came back, whether the package has the SHA-256 that version.html's digest
// line gives it, and whether it would unpack (a test run of the extraction library,
// nothing written), then every reason the update would fail. With a key, version.html's
// signature is checked too, and a missing digest line is such a reason.
// The downloads go to a temporary folder that is removed before returning.
int CheckMirror(const CheckRequest& request, std::FILE* out);

}  // namespace vlrpub
