// Text at the edges of the library: ANSI paths and callback texts (the system code page
// on Windows, bytes on Linux), native file names, and path joining.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "os/file_system.h"

namespace uz32 {

// A path from the option record (ANSI) as a native path.
NativeString NativeFromAnsi(const char* ansi);

// A member's decoded name as a native file name.
NativeString NativeFromUnicode(std::u32string_view text);

// An ASCII name (temporary files) as a native file name.
NativeString NativeFromAscii(std::string_view ascii);

// UTF-8 message text as ANSI for the callback procedures; characters the code page
// lacks become '?'.
std::string AnsiFromUtf8(std::string_view utf8);

// A native path for messages.
std::string Utf8FromNative(const NativeString& path);

// Two names with equal keys name the same file in one folder: case-insensitive on
// Windows (the system's own upper-casing), ASCII case-insensitive on Linux so an archive
// behaves the same on both.
NativeString FileNameKey(const NativeString& name);

// The separators of native paths; the first is the one written.
#ifdef _WIN32
inline constexpr std::wstring_view kNativeSeparators = L"\\/";
#else
inline constexpr std::string_view kNativeSeparators = "/";
#endif

// folder followed by name, with a separator unless folder already ends with one.
NativeString JoinPath(const NativeString& folder, const NativeString& name);

// The names a relative path goes through, in order (split on '/', and on '\' too on
// Windows); empty names between separators are dropped.
std::vector<NativeString> PathComponents(const NativeString& relative);

// This process's id (names of temporary files).
unsigned long CurrentProcessId();

}  // namespace uz32
