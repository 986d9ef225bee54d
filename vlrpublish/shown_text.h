// Text in vlrpublish: file names as UTF-8 (the form of every name and message inside
// it), names as they may be printed, and the system's own words for a failure.
#pragma once

#include <filesystem>
#include <string>

#include "platform/text.h"

namespace vlrpub {

using platform::PathFromUtf8;
using platform::Utf8FromPath;

// The signature file beside `file`, named as the mirror names it.
std::filesystem::path SignaturePath(const std::filesystem::path& file);

// The second signature file beside `file` (version.html.sig2), by another key.
std::filesystem::path SecondSignaturePath(const std::filesystem::path& file);

// `name` as it may be printed: a name is whatever bytes a folder holds, and printed raw
// its control characters would act on the terminal (colours, a cleared screen). Every
// control character (C0, DEL, C1) is written as \xNN (\u00NN for C1) and every byte
// that is not part of valid UTF-8 as \xNN. Other text is kept as it is ('\' too: it
// separates the folders of a Windows path).
std::string ShownName(const std::string& name);

// ": " and the system's words for its error code `error` (errno, GetLastError: "No
// space left on device"); empty for 0, when the system gave no reason.
std::string SystemReason(unsigned long error);

}  // namespace vlrpub
