#include "mirror/folder_address.h"

#include <cwctype>

#include "platform/text.h"

namespace vlr {

namespace {

#ifdef _WIN32
constexpr wchar_t kSeparator = L'\\';
#else
constexpr wchar_t kSeparator = L'/';
#endif

bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix) {
  std::size_t i = 0;
  for (; prefix[i]; ++i) {
    if (i >= text.size()) return false;
    if (static_cast<wchar_t>(std::towlower(static_cast<wint_t>(text[i]))) != prefix[i]) return false;
  }
  return true;
}

bool IsDrivePath(const std::wstring& text) {
  return text.size() >= 3 && ((text[0] >= L'A' && text[0] <= L'Z') ||
                              (text[0] >= L'a' && text[0] <= L'z')) &&
         text[1] == L':' && (text[2] == L'\\' || text[2] == L'/');
}

int HexValue(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

// A file URL's path with its %XX escapes read as UTF-8; a "%" that starts no escape
// stays as it is.
std::wstring Unescaped(const std::wstring& text) {
  std::wstring out;
  std::string bytes;  // a run of escaped bytes, not yet decoded
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
        HexValue(text[i + 2]) >= 0) {
      bytes += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
      continue;
    }
    out += platform::FromUtf8(bytes);
    bytes.clear();
    out += text[i];
  }
  return out + platform::FromUtf8(bytes);
}

}  // namespace

bool IsFolderAddress(const std::wstring& address) {
  if (StartsWithNoCase(address, L"file://")) return true;
  return address.compare(0, 2, L"\\\\") == 0 || IsDrivePath(address);
}

std::optional<std::wstring> FolderOfAddress(const std::wstring& address) {
  if (!IsFolderAddress(address)) return std::nullopt;
  std::wstring path = address;
  if (StartsWithNoCase(address, L"file://")) {
    const std::wstring rest = Unescaped(address.substr(7));
    if (rest.size() >= 1 && rest[0] == L'/' && IsDrivePath(rest.substr(1))) {
      path = rest.substr(1);  // file:///X:/path
    } else if (kSeparator == L'/') {
      // Linux: an absolute path stays a file URL (unescaped), so that the address
      // still names a folder once normalised; the reader takes the path from it.
      path = L"file://" + rest;
    } else {
      path = L"//" + rest;  // file://server/share/path
    }
  }
  // On Windows both slashes separate; on Linux only an absolute path is usable, and a
  // backslash may be part of a name.
  if (kSeparator == L'\\') {
    for (wchar_t& c : path) {
      if (c == L'/') c = L'\\';
    }
  }
  if (path.empty() || (path.back() != kSeparator && path.back() != L'/')) path += kSeparator;
  return path;
}

}  // namespace vlr
