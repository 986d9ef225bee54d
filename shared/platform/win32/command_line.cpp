#include "platform/win32/command_line.h"

#include <windows.h>

#include <algorithm>
#include <vector>

namespace platform {

namespace {

bool Blank(wchar_t c) { return c == L' ' || c == L'\t'; }

// '/' and '\' name the same separator to the system.
std::wstring OneSeparator(std::wstring_view path) {
  std::wstring s(path);
  std::replace(s.begin(), s.end(), L'/', L'\\');
  return s;
}

// True when `text` begins with `prefix`, ignoring case as the file system does and
// taking either separator for the other.
bool StartsWithPath(std::wstring_view text, std::wstring_view prefix) {
  if (prefix.empty() || text.size() < prefix.size()) return false;
  const std::wstring a = OneSeparator(text.substr(0, prefix.size()));
  const std::wstring b = OneSeparator(prefix);
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// The path without the extension of its last component ("...\vlrupdate.exe" gives
// "...\vlrupdate"); empty when it has none.
std::wstring WithoutExtension(std::wstring_view path) {
  const std::size_t dot = path.rfind(L'.');
  const std::size_t separator = path.find_last_of(L"\\/");
  if (dot == std::wstring_view::npos || (separator != std::wstring_view::npos && dot < separator))
    return {};
  return std::wstring(path.substr(0, dot));
}

// The length of the program's name at the start of an unquoted command line when it is
// the module path, spelt as the system accepts it (with or without the extension, with
// either separator) and followed by a blank or the end; 0 otherwise.
std::size_t ModulePathLength(std::wstring_view commandLine, std::wstring_view modulePath) {
  const std::wstring bare = WithoutExtension(modulePath);
  for (std::wstring_view spelling : {modulePath, std::wstring_view(bare)}) {
    if (StartsWithPath(commandLine, spelling) &&
        (commandLine.size() == spelling.size() || Blank(commandLine[spelling.size()])))
      return spelling.size();
  }
  return 0;
}

}  // namespace

std::wstring ArgumentTail(std::wstring_view commandLine, std::wstring_view modulePath) {
  std::size_t p = 0;
  const std::size_t n = commandLine.size();
  if (n > 0 && commandLine[0] == L'"') {
    p = commandLine.find(L'"', 1);
    p = p == std::wstring_view::npos ? n : p + 1;
  } else if (const std::size_t length = ModulePathLength(commandLine, modulePath)) {
    // Started with an unquoted path that holds blanks ("C:\Program Files\...").
    p = length;
  } else {
    while (p < n && !Blank(commandLine[p])) ++p;
  }
  while (p < n && Blank(commandLine[p])) ++p;
  return std::wstring(commandLine.substr(p));
}

std::wstring ModulePath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    DWORD got = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (got == 0) return {};
    if (got < buffer.size()) return std::wstring(buffer.data(), got);
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace platform
