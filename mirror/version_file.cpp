#include "mirror/version_file.h"

#include <fstream>

#include "platform/text.h"

namespace vlr {

bool VersionLines::Next(std::string& line) {
  std::streambuf* buffer = in_.rdbuf();
  using Traits = std::char_traits<char>;
  if (!buffer || !in_.good() || Traits::eq_int_type(buffer->sgetc(), Traits::eof())) return false;
  line.clear();
  for (;;) {
    Traits::int_type c = buffer->sbumpc();
    if (Traits::eq_int_type(c, Traits::eof())) return true;
    if (Traits::to_char_type(c) == '\r') {
      if (Traits::eq_int_type(buffer->sgetc(), Traits::to_int_type('\n'))) buffer->sbumpc();
      return true;
    }
    line += Traits::to_char_type(c);
    // Full: the line is cut here unless its end comes next.
    if (line.size() == kMaxLine) {
      if (Traits::eq_int_type(buffer->sgetc(), Traits::to_int_type('\r'))) continue;
      return true;
    }
  }
}

std::string VersionDigits(std::istream& in) {
  std::string digits;
  std::string lastLine;
  VersionLines lines(in);
  do {
    // Reading past the end fails without effect: the last line stays as it was.
    if (!lines.Next(lastLine)) break;
    for (char c : lastLine) {
      if (c >= '0' && c <= '9') digits += c;
    }
    // Only the last three can count.
    if (digits.size() > 3) digits.erase(0, digits.size() - 3);
  } while (!lastLine.empty());
  return digits;
}

std::string ReadVersionDigits(const std::wstring& path) {
  std::ifstream in(platform::ToPath(path), std::ios::binary);
  if (!in) return {};
  return VersionDigits(in);
}

}  // namespace vlr
