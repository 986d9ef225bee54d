// Text conversions at the system boundary. In memory all text is Unicode
// (std::wstring); paths and URLs handed to the system and every text exchanged with
// the extraction library are ANSI: the Windows system code page, and UTF-8 on Linux.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace platform {

#ifdef _WIN32
inline constexpr wchar_t kPathSeparator = L'\\';
#else
inline constexpr wchar_t kPathSeparator = L'/';
#endif

// Unicode to the system code page; characters without a code become '?'.
std::string ToAnsi(std::wstring_view text);

// System code page to Unicode; on Linux, bytes that are not valid UTF-8 are taken as
// Latin-1 so that no byte is lost.
std::wstring FromAnsi(std::string_view text);

// UTF-8 (source literals, test data) to Unicode and back.
std::wstring FromUtf8(std::string_view text);
std::string ToUtf8(std::wstring_view text);

// A file-system path for a Unicode path text.
std::filesystem::path ToPath(const std::wstring& text);

}  // namespace platform
