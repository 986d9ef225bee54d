#include <windows.h>

#include "platform/text.h"

namespace platform {

namespace {

// Best fit would turn characters the code page lacks into look-alikes ("Ł" into "L"):
// another name. Without it they become the default character. UTF-8 code pages take
// no flags.
DWORD NarrowFlags(UINT codePage) {
  if (codePage == CP_UTF8 || (codePage == CP_ACP && GetACP() == CP_UTF8)) return 0;
  return WC_NO_BEST_FIT_CHARS;
}

std::string Narrow(UINT codePage, std::wstring_view text) {
  if (text.empty()) return {};
  DWORD flags = NarrowFlags(codePage);
  int n = WideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()), nullptr,
                              0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

std::wstring Widen(UINT codePage, std::string_view text) {
  if (text.empty()) return {};
  int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

}  // namespace

std::string ToAnsi(std::wstring_view text) { return Narrow(CP_ACP, text); }
std::wstring FromAnsi(std::string_view text) { return Widen(CP_ACP, text); }
std::wstring FromUtf8(std::string_view text) { return Widen(CP_UTF8, text); }
std::string ToUtf8(std::wstring_view text) { return Narrow(CP_UTF8, text); }
std::optional<std::string> ToAnsiExact(std::wstring_view text) {
  std::string ansi = ToAnsi(text);
  if (FromAnsi(ansi) != text) return std::nullopt;
  return ansi;
}

std::optional<std::string> ToAnsiPath(const std::wstring& path) {
  if (std::optional<std::string> exact = ToAnsiExact(path)) return exact;
  DWORD n = GetShortPathNameW(path.c_str(), nullptr, 0);
  if (n == 0) return std::nullopt;
  std::wstring shortPath(n, L'\0');
  n = GetShortPathNameW(path.c_str(), shortPath.data(), n);
  if (n == 0 || n >= shortPath.size()) return std::nullopt;
  shortPath.resize(n);
  return ToAnsiExact(shortPath);
}

std::filesystem::path ToPath(const std::wstring& text) { return std::filesystem::path(text); }

std::filesystem::path PathFromUtf8(std::string_view text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string Utf8FromPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::string AnsiPath(const std::filesystem::path& path) { return ToAnsi(path.wstring()); }

std::u32string WindowsNameCase(const std::u32string& name) { return name; }

}  // namespace platform
