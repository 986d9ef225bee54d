// The system's own words for an error code (errno on Linux, GetLastError on Windows).
// Kept apart so that the extraction library can take it in too.
#pragma once

#include <string>

namespace platform {

// UTF-8, as a part of a sentence: without the line break and the final full stop that
// Windows' texts end with; "system error N" when the system has no text for it.
std::string SystemErrorText(unsigned long code);

}  // namespace platform
