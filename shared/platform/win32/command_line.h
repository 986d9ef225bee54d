// Reading the argument text out of the process's command line.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// `commandLine` without the program's name and the blanks that follow it. A quoted
// name ends at its closing quote. An unquoted one that begins with `modulePath` (the
// program's own full path, compared without regard to case, '/' and '\' alike, with
// or without the extension, as the system starts it either way) followed by a blank or
// the end is skipped whole, blanks in the path included; any other unquoted name ends
// at the first blank.
std::wstring ArgumentTail(std::wstring_view commandLine, std::wstring_view modulePath);

// The full path of the running program (GetModuleFileNameW); empty on failure.
std::wstring ModulePath();

}  // namespace platform
