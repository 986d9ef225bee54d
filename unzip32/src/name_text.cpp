#include "name_text.h"

#include "cp437_table.h"

namespace uz32 {

std::optional<std::u32string> DecodeName(std::string_view raw, bool utf8) {
  std::u32string out;
  out.reserve(raw.size());
  if (!utf8) {
    for (unsigned char c : raw) out.push_back(c < 0x80 ? c : kCp437High[c - 0x80]);
    return out;
  }
  size_t i = 0;
  while (i < raw.size()) {
    const auto b0 = static_cast<unsigned char>(raw[i]);
    if (b0 < 0x80) {
      out.push_back(b0);
      ++i;
      continue;
    }
    size_t len = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if ((b0 & 0xE0) == 0xC0) {
      len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
      len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
      len = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
      return std::nullopt;
    }
    if (raw.size() - i < len) return std::nullopt;
    for (size_t k = 1; k < len; ++k) {
      const auto b = static_cast<unsigned char>(raw[i + k]);
      if ((b & 0xC0) != 0x80) return std::nullopt;
      cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
    out.push_back(cp);
    i += len;
  }
  return out;
}

std::optional<std::u32string> DecodeEntryName(const ZipEntry& e) {
  return DecodeName(e.rawName, (e.flags & kFlagUtf8Name) != 0);
}

std::u32string LenientName(const ZipEntry& e) {
  return DecodeEntryName(e).value_or(*DecodeName(e.rawName, false));
}

std::string ToUtf8(std::u32string_view text) {
  static constexpr unsigned char kLead[] = {0x00, 0xC0, 0xE0, 0xF0};  // by continuation bytes
  std::string out;
  out.reserve(text.size());
  for (char32_t c : text) {
    const int more = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    out.push_back(static_cast<char>(kLead[more] | (c >> (6 * more))));
    for (int k = more - 1; k >= 0; --k) {
      out.push_back(static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F)));
    }
  }
  return out;
}

std::string DisplayName(const ZipEntry& e) {
  std::u32string name = LenientName(e);
  constexpr size_t kMax = 200;
  const bool cut = name.size() > kMax;
  if (cut) name.resize(kMax);
  for (char32_t& c : name) {
    if (c < 0x20 || c == 0x7F) c = U'?';
  }
  std::string out = ToUtf8(name);
  if (cut) out += "...";
  return out;
}

}  // namespace uz32
