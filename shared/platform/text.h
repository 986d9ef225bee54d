// Text conversions at the system boundary. In memory all text is Unicode
// (std::wstring); paths and URLs handed to the system and every text exchanged with
// the extraction library are ANSI: the Windows system code page, and UTF-8 on Linux.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

#ifdef _WIN32
inline constexpr wchar_t kPathSeparator = L'\\';
#else
inline constexpr wchar_t kPathSeparator = L'/';
#endif

// Unicode to the system code page; characters without a code become '?' (never a
// look-alike character of the code page).
std::string ToAnsi(std::wstring_view text);

// The exact system-code-page form of `text`: nothing when some character has no code
// there, so that the text would come back as another one.
std::optional<std::string> ToAnsiExact(std::wstring_view text);

// A system-code-page form of the existing file or folder `path` that names that very
// file or folder: its exact form, else (Windows) the exact form of its short 8.3 path
// where the volume gives one. Nothing when there is neither.
std::optional<std::string> ToAnsiPath(const std::wstring& path);

// System code page to Unicode; on Linux, bytes that are not valid UTF-8 are taken as
// Latin-1 so that no byte is lost.
std::wstring FromAnsi(std::string_view text);

// UTF-8 (source literals, test data) to Unicode and back.
std::wstring FromUtf8(std::string_view text);
std::string ToUtf8(std::wstring_view text);

// A file-system path for a Unicode path text.
std::filesystem::path ToPath(const std::wstring& text);

// The path named by UTF-8 text, and a path as UTF-8 text; on Linux the bytes are taken
// as they are, whatever they are.
std::filesystem::path PathFromUtf8(std::string_view text);
std::string Utf8FromPath(const std::filesystem::path& path);

// A path in the system code page, as the extraction library takes it (on Linux its
// bytes as they are).
std::string AnsiPath(const std::filesystem::path& path);

// `name` with its letters folded so that names Windows takes for one file are one once
// the extraction library's name key has folded them too: on Linux, where that key folds
// ASCII letters only, every letter upper-cased in a Unicode locale (close to Windows'
// table); on Windows, whose key folds with the system's own table, `name` as it is.
std::u32string WindowsNameCase(const std::u32string& name);

}  // namespace platform
