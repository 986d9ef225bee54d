#include <locale.h>
#include <wctype.h>

#include "platform/text.h"
#include "platform/unique_handle.h"

namespace platform {

namespace {

// Appends the UTF-8 form of one code point.
void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Decodes UTF-8; a byte that does not start a valid sequence stands for itself
// (Latin-1), so every input byte is accounted for.
std::wstring DecodeUtf8(std::string_view s) {
  std::wstring out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    int extra = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
    char32_t cp = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
    bool ok = extra >= 0 && i + static_cast<size_t>(extra < 0 ? 0 : extra) < s.size();
    if (ok && extra > 0) {
      for (int k = 1; ok && k <= extra; ++k) {
        unsigned char c = static_cast<unsigned char>(s[i + k]);
        if ((c & 0xC0) != 0x80) ok = false;
        cp = (cp << 6) | (c & 0x3F);
      }
      static const char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
      if (ok && (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
    }
    if (!ok) {
      out += static_cast<wchar_t>(b);
      ++i;
    } else {
      out += static_cast<wchar_t>(cp);
      i += static_cast<size_t>(extra) + 1;
    }
  }
  return out;
}

std::string EncodeUtf8(std::wstring_view s) {
  std::string out;
  out.reserve(s.size());
  for (wchar_t ch : s) AppendUtf8(out, static_cast<char32_t>(ch));
  return out;
}

}  // namespace

std::string ToAnsi(std::wstring_view text) { return EncodeUtf8(text); }
std::wstring FromAnsi(std::string_view text) { return DecodeUtf8(text); }
std::wstring FromUtf8(std::string_view text) { return DecodeUtf8(text); }
std::string ToUtf8(std::wstring_view text) { return EncodeUtf8(text); }
std::optional<std::string> ToAnsiExact(std::wstring_view text) {
  std::string bytes = EncodeUtf8(text);
  if (DecodeUtf8(bytes) != text) return std::nullopt;
  return bytes;
}

// Linux has no short names: the path's own exact form or nothing.
std::optional<std::string> ToAnsiPath(const std::wstring& path) { return ToAnsiExact(path); }

std::filesystem::path ToPath(const std::wstring& text) {
  return std::filesystem::path(EncodeUtf8(text));
}

std::filesystem::path PathFromUtf8(std::string_view text) { return std::filesystem::path(text); }
std::string Utf8FromPath(const std::filesystem::path& path) { return path.string(); }
std::string AnsiPath(const std::filesystem::path& path) { return path.string(); }

std::u32string WindowsNameCase(const std::u32string& name) {
  const UniqueHandle<locale_t, CloseWith<freelocale>> unicode(
      newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0)));
  if (!unicode) return name;
  std::u32string upper = name;
  for (char32_t& c : upper)
    c = static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), unicode.get()));
  return upper;
}

}  // namespace platform
