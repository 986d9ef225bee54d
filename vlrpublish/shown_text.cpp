#include "vlrpublish/shown_text.h"

#include <cstdio>

#include "mirror/mirror_rules.h"
#include "platform/system_error_text.h"

namespace vlrpub {

std::filesystem::path SignaturePath(const std::filesystem::path& file) {
  return file.parent_path() / PathFromUtf8(vlr::SignatureName(Utf8FromPath(file.filename())));
}

std::filesystem::path SecondSignaturePath(const std::filesystem::path& file) {
  return file.parent_path() /
         PathFromUtf8(vlr::SecondSignatureName(Utf8FromPath(file.filename())));
}

namespace {

std::string Hex(const char* form, unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, form, value);
  return text;
}

// The length of the valid UTF-8 sequence at s[i] (shortest form, no surrogates, at most
// U+10FFFF), 0 when there is none; its code point in `code`.
std::size_t Utf8Sequence(const std::string& s, std::size_t i, unsigned& code) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned b = byte(i);
  std::size_t length;
  if (b < 0x80) {
    code = b;
    return 1;
  } else if (b >= 0xC2 && b <= 0xDF) {
    length = 2;
    code = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    length = 3;
    code = b & 0x0F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    length = 4;
    code = b & 0x07;
  } else {
    return 0;
  }
  if (i + length > s.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  if ((length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
      (length == 4 && (code < 0x10000 || code > 0x10FFFF)))
    return 0;
  return length;
}

}  // namespace

std::string ShownName(const std::string& name) {
  std::string shown;
  for (std::size_t i = 0; i < name.size();) {
    unsigned code = 0;
    const std::size_t length = Utf8Sequence(name, i, code);
    if (length == 0) {
      shown += Hex("\\x%02X", static_cast<unsigned char>(name[i]));
      ++i;
      continue;
    }
    if (code < 0x20 || code == 0x7F) {
      shown += Hex("\\x%02X", code);
    } else if (code >= 0x80 && code <= 0x9F) {
      shown += Hex("\\u%04X", code);
    } else {
      shown.append(name, i, length);
    }
    i += length;
  }
  return shown;
}

std::string SystemReason(unsigned long error) {
  if (error == 0) return {};
  return ": " + platform::SystemErrorText(error);
}

}  // namespace vlrpub
