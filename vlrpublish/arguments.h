// The command line of vlrpublish: which command, with what.
#pragma once

#include <string>
#include <variant>
#include <vector>

#include "vlrpublish/mirror_check.h"
#include "vlrpublish/mirror_make.h"
#include "vlrpublish/mirror_sign.h"

namespace vlrpub {

inline constexpr int kUsageError = 2;

// The most days --expires-in takes: a hundred years.
inline constexpr int kMaxExpiryDays = 36500;

struct HelpRequest {};
struct VersionRequest {};
struct UsageError {
  std::string message;
};

using Command =
    std::variant<HelpRequest, VersionRequest, MakeRequest, CheckRequest, SignRequest, UsageError>;

// Reads the arguments after the program's name (UTF-8). Never throws.
Command ParseCommandLine(const std::vector<std::string>& args);

// The text of --help.
const char* HelpText();

// The text of --version: "vlrpublish 1.0.0" and a newline.
const char* VersionText();

}  // namespace vlrpub
