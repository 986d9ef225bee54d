#include "extract/library_text.h"

#include <string_view>

#include "platform/text.h"

namespace vlr {

std::wstring ReadLibraryText(const char* buffer, std::size_t maxBytes) {
  if (buffer == nullptr) return {};
  std::size_t length = 0;
  while (length < maxBytes && buffer[length] != '\0') ++length;
  return platform::FromAnsi(std::string_view(buffer, length));
}

}  // namespace vlr
