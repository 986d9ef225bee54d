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
  std::optional<std::filesystem::path> key;  // public key: check the .sig files too
};

// Exit codes of check (also in README.md).
inline constexpr int kCheckUpdateWorks = 0;
inline constexpr int kCheckUpdateFails = 1;  // an update from this mirror would fail
inline constexpr int kCheckCannotRun = 4;    // no temporary folder, or an unusable --key

// Fetches version.html and the package it names the way the updater would, reports on
// `out` what came back and whether the package would unpack (a test run of the
// extraction library, nothing written), then every reason the update would fail.
// The downloads go to a temporary folder that is removed before returning.
int CheckMirror(const CheckRequest& request, std::FILE* out);

}  // namespace vlrpub
