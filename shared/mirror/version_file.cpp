#include "mirror/version_file.h"

#include <string_view>

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

std::string DigestLine(const std::string& packageName, const std::string& sha256Hex) {
  return "<!-- sha256 " + packageName + " " + sha256Hex + " -->";
}

namespace {

// The part of `line` between its leading and trailing blanks.
std::string_view Trimmed(std::string_view line) {
  const std::size_t first = line.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  return line.substr(first, line.find_last_not_of(" \t\r\n") - first + 1);
}

// The digest `line` gives for `packageName`, in lower case; empty when it gives none.
std::string DigestOfLine(std::string_view line, const std::string& packageName) {
  line = Trimmed(line);
  const std::string head = "<!-- sha256 " + packageName + " ";
  constexpr std::string_view kTail = " -->";
  if (line.size() != head.size() + 64 + kTail.size() || !line.starts_with(head) ||
      !line.ends_with(kTail))
    return {};
  std::string hex;
  for (char c : line.substr(head.size(), 64)) {
    if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return {};
    hex += c;
  }
  return hex;
}

}  // namespace

std::optional<UtcDay> ExpiryOfLine(std::string_view line) {
  line = Trimmed(line);
  constexpr std::string_view kHead = "<!-- expires ";
  constexpr std::string_view kTail = " -->";
  if (line.size() != kHead.size() + 10 + kTail.size() || !line.starts_with(kHead) ||
      !line.ends_with(kTail))
    return std::nullopt;
  return ParseUtcDate(line.substr(kHead.size(), 10));
}

std::string ExpiryLine(UtcDay day) { return "<!-- expires " + UtcDateText(day) + " -->"; }

VersionTrailer ReadVersionTrailer(std::istream& in, const std::string& packageName) {
  VersionTrailer trailer;
  bool digestsDisagree = false;
  std::string text;
  VersionLines lines(in);
  // The lines may end in CR, CR LF or LF: each piece between them is looked at.
  while (lines.Next(text)) {
    std::size_t start = 0;
    while (start <= text.size()) {
      std::size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      const std::string_view piece = std::string_view(text).substr(start, end - start);
      std::string digest = packageName.empty() ? std::string() : DigestOfLine(piece, packageName);
      if (!digest.empty()) {
        if (trailer.digest && *trailer.digest != digest) digestsDisagree = true;
        trailer.digest = std::move(digest);
      }
      // Two expiry lines: the earlier date holds, as the safer reading.
      if (const std::optional<UtcDay> day = ExpiryOfLine(piece);
          day && (!trailer.expires || *day < *trailer.expires))
        trailer.expires = day;
      start = end + 1;
    }
  }
  if (digestsDisagree) trailer.digest.reset();
  return trailer;
}

bool HasExpired(UtcDay expires, UtcDay today) { return expires < today; }

std::string ExpiredText(UtcDay expires, UtcDay today) {
  return "version file expired on " + UtcDateText(expires) + " (today " + UtcDateText(today) + ")";
}

}  // namespace vlr
