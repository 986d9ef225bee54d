// Reading the extraction library's text buffers.
#pragma once

#include <cstddef>
#include <string>

namespace vlr {

// The ANSI text in `buffer` from index 0 up to, not including, its first zero byte,
// reading at most `maxBytes` bytes; empty for a null buffer. The bytes are converted
// as one text, so a character of several bytes stays one character.
std::wstring ReadLibraryText(const char* buffer, std::size_t maxBytes);

}  // namespace vlr
