// Windows: ANSI texts in the system code page, native names in UTF-16.
#include <windows.h>

#include "os/platform_text.h"

namespace uz32 {
namespace {

std::wstring Widen(UINT codePage, std::string_view text) {
  const int size = static_cast<int>(text.size());
  const int n = size ? MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0) : 0;
  if (n <= 0) return {};
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), size, out.data(), n);
  return out;
}

std::string Narrow(UINT codePage, std::wstring_view text) {
  // UTF-8 takes no default character; the ANSI code page gets '?' for what it lacks.
  const char* fallback = codePage == CP_UTF8 ? nullptr : "?";
  const int size = static_cast<int>(text.size());
  const int n =
      size ? WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, fallback, nullptr) : 0;
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(codePage, 0, text.data(), size, out.data(), n, fallback, nullptr);
  return out;
}

}  // namespace

NativeString NativeFromAnsi(const char* ansi) { return ansi ? Widen(CP_ACP, ansi) : L""; }

NativeString NativeFromUnicode(std::u32string_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (char32_t c : text) {
    if (c < 0x10000) {
      out.push_back(static_cast<wchar_t>(c));
    } else {
      const char32_t v = c - 0x10000;
      out.push_back(static_cast<wchar_t>(0xD800 + (v >> 10)));
      out.push_back(static_cast<wchar_t>(0xDC00 + (v & 0x3FF)));
    }
  }
  return out;
}

NativeString NativeFromAscii(std::string_view ascii) {
  return std::wstring(ascii.begin(), ascii.end());
}

std::string AnsiFromUtf8(std::string_view utf8) { return Narrow(CP_ACP, Widen(CP_UTF8, utf8)); }

std::string Utf8FromNative(const NativeString& path) { return Narrow(CP_UTF8, path); }

NativeString FileNameKey(const NativeString& name) {
  if (name.empty()) return name;
  const int n = LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, name.data(),
                             static_cast<int>(name.size()), nullptr, 0);
  if (n <= 0) return name;
  std::wstring key(static_cast<size_t>(n), L'\0');
  LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, name.data(), static_cast<int>(name.size()),
               key.data(), n);
  return key;
}

unsigned long CurrentProcessId() { return GetCurrentProcessId(); }

}  // namespace uz32
