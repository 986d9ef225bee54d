#include "vlrpublish/shown_text.h"

#include <cstdio>

#include "mirror/mirror_rules.h"
#include "name_text.h"
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

}  // namespace

std::string ShownName(const std::string& name) {
  std::string shown;
  for (std::size_t i = 0; i < name.size();) {
    const auto lead = static_cast<unsigned char>(name[i]);
    // The sequence its first byte announces, read by the extraction library's strict
    // UTF-8 reading (shortest form, no surrogates, at most U+10FFFF).
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    const auto decoded = uz32::DecodeName(std::string_view(name).substr(i, length), true);
    if (!decoded) {
      shown += Hex("\\x%02X", lead);
      ++i;
      continue;
    }
    const auto code = static_cast<unsigned>(decoded->front());
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
