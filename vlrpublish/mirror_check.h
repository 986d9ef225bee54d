// vlrpublish check: asks a live mirror what the updater would do with it.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace vlrpub {

struct CheckRequest {
  std::string site;     // HOST/PATH as the updater takes it, with or without http://
  bool french = false;  // the French package instead of the English one
  std::vector<std::filesystem::path> keys;  // public keys: check version.html.sig too
};

// With keys, check warns when version.html expires within this many days.
inline constexpr int kExpiryWarningDays = 7;

// Exit codes of check.
inline constexpr int kCheckUpdateWorks = 0;
inline constexpr int kCheckUpdateFails = 1;  // an update from this mirror would fail
inline constexpr int kCheckCannotRun = 4;    // no temporary folder, or an unusable --key

// Fetches version.html and the package it names the way the updater would, reports on
// `out` what came back, whether the package has the SHA-256 that version.html's digest
// line gives it, and whether it would unpack (a test run of the extraction library,
// nothing written), then every reason the update would fail. With keys, version.html's
// signature is checked too (any one key may have signed it), and a missing digest line
// or an expiry day before today (UTC) is such a reason; an expiry within
// kExpiryWarningDays gets a warning.
// The downloads go to a temporary folder that is removed before returning.
int CheckMirror(const CheckRequest& request, std::FILE* out);

}  // namespace vlrpub
