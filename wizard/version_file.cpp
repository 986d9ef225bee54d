#include "wizard/version_file.h"

#include <fstream>
#include <iterator>

#include "platform/text.h"

namespace vlr {

std::string VersionDigits(std::string_view content) {
  std::string digits;
  std::string lastLine;
  size_t pos = 0;
  do {
    // Reading past the end fails without effect: the last line stays as it was.
    if (pos < content.size()) {
      size_t end = content.find('\r', pos);
      if (end == std::string_view::npos) end = content.size();
      lastLine.assign(content.substr(pos, end - pos));
      pos = end;
      if (pos < content.size()) {
        ++pos;  // the CR
        if (pos < content.size() && content[pos] == '\n') ++pos;
      }
    }
    for (char c : lastLine) {
      if (c >= '0' && c <= '9') digits += c;
    }
  } while (pos < content.size() && !lastLine.empty());
  if (digits.size() > 3) digits.erase(0, digits.size() - 3);
  return digits;
}

std::string ReadVersionDigits(const std::wstring& path) {
  std::ifstream in(platform::ToPath(path), std::ios::binary);
  if (!in) return {};
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return VersionDigits(content);
}

}  // namespace vlr
