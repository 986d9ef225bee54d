// The options that may stand before the argument text: "/quiet", "/log:PATH" and
// "/deadline:SECONDS".
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vlr {

struct StartOptions {
  bool quiet = false;     // "/quiet": no window, the update run at once, an exit code
  std::wstring logPath;   // "/log:PATH": where the run log goes; empty for no log
  bool bad = false;       // "/log:" without a path, or a quoted path never closed or
                          // not followed by a blank; logPath and rest are then empty
  std::wstring rest;      // the argument text after the options, read as it always was
  // "/deadline:SECONDS": the whole-run deadline of an unattended run, in place of the
  // default; whole seconds from 1 to kMaxDeadlineSeconds.
  std::optional<std::uint32_t> deadlineSeconds;
  bool badDeadline = false;  // "/deadline:" without such a number
};

inline constexpr std::uint32_t kMaxDeadlineSeconds = 24 * 60 * 60;

// Reads the options at the start of `argumentText`. An option is a word, ended by a
// blank or the end of the text, that is "/quiet" or begins with "/log:" or "/deadline:"
// (in any case);
// one blank after it is its separator. "/log:" takes the rest of its word as the path,
// or a path in double quotes, blanks included, which must be followed by a blank or the
// end. The first word that is no option, and everything after it, is `rest`, unchanged:
// a command line without options keeps its meaning. Never fails.
StartOptions ReadStartOptions(const std::wstring& argumentText);

}  // namespace vlr
