#include "platform/win32/command_line.h"

#include <windows.h>

#include <vector>

namespace platform {

namespace {

bool Blank(wchar_t c) { return c == L' ' || c == L'\t'; }

// True when `text` begins with `prefix`, ignoring case as the file system does.
bool StartsWithPath(std::wstring_view text, std::wstring_view prefix) {
  if (prefix.empty() || text.size() < prefix.size()) return false;
  return CompareStringOrdinal(text.data(), static_cast<int>(prefix.size()), prefix.data(),
                              static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

std::wstring ArgumentTail(std::wstring_view commandLine, std::wstring_view modulePath) {
  std::size_t p = 0;
  const std::size_t n = commandLine.size();
  if (n > 0 && commandLine[0] == L'"') {
    p = commandLine.find(L'"', 1);
    p = p == std::wstring_view::npos ? n : p + 1;
  } else if (StartsWithPath(commandLine, modulePath) &&
             (commandLine.size() == modulePath.size() || Blank(commandLine[modulePath.size()]))) {
    // Started with an unquoted path that holds blanks ("C:\Program Files\...").
    p = modulePath.size();
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
