// What vlrpublish make and sign share: their exit codes, their report of a refusal or a
// failure, writing a whole file, and the expiry day --expires-in gives.
#pragma once

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "mirror/utc_date.h"

namespace vlrpub {

// Exit codes of make and sign.
inline constexpr int kDone = 0;
inline constexpr int kRefused = 3;  // the input cannot make a mirror; nothing written
inline constexpr int kFailed = 4;   // writing or checking failed; the folder is as it was

// The report of one run of `command` ("make", "sign") on `err`; `untouched` says what a
// refused run left alone ("written": nothing was written).
class CommandReport {
 public:
  CommandReport(const char* command, const char* untouched, std::FILE* err)
      : command_(command), untouched_(untouched), err_(err) {}

  // Says the run is refused, with every reason; gives kRefused.
  int Refused(const std::vector<std::string>& reasons) const;
  // Says the run failed and the mirror folder is as it was, and why; gives kFailed.
  int Failed(const std::string& why) const;
  // One line of its own: "vlrpublish <command>: " + text.
  void Line(const std::string& text) const;

 private:
  const char* command_;
  const char* untouched_;
  std::FILE* err_;
};

// Empty when `bytes` were written to `path`; else why not, with the system's reason.
std::string WriteFile(const std::filesystem::path& path, const std::string& bytes);

// The expiry day of --expires-in: today (UTC) + `days`; none without it.
std::optional<vlr::UtcDay> ExpiryDay(std::optional<int> days);

}  // namespace vlrpub
