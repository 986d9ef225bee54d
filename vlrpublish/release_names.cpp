#include "vlrpublish/release_names.h"

#include <algorithm>
#include <ctime>
#include <fstream>
#include <sstream>

#include "mirror/mirror_rules.h"
#include "mirror/version_file.h"

namespace vlrpub {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string ReleaseDigits(const std::string& version, std::string& why) {
  why.clear();
  std::string digits;
  for (char c : version) {
    if (IsDigit(c)) digits += c;
  }
  const bool shaped = version.size() == 5 && IsDigit(version[0]) && version[1] == '.' &&
                      IsDigit(version[2]) && version[3] == '.' && IsDigit(version[4]);
  if (shaped) return digits;
  if (digits.size() > 3) {
    why = "the version '" + version + "' has " + std::to_string(digits.size()) +
          " digits, but the updater keeps only the last three (it would read " +
          digits.substr(digits.size() - 3) + ", show Version " +
          vlr::DottedVersion(digits.substr(digits.size() - 3)) + " and fetch " +
          vlr::PackageName(digits.substr(digits.size() - 3), false) +
          "). Use three single digits, such as 7.5.3";
  } else if (digits.size() < 3) {
    why = "the version '" + version + "' has " + std::to_string(digits.size()) +
          " digit(s), but the updater needs three to name the package and show the " +
          "version. Use three single digits, such as 7.5.3";
  } else {
    why = "the version '" + version + "' is not three single digits with dots, " + "such as 7.5.3";
  }
  return {};
}

std::string VersionPage(const std::string& digits, const std::vector<NamedDigest>& digests,
                        std::optional<vlr::UtcDay> expires) {
  // Every line ends in CR LF: the updater's reading ends lines only at a CR. The first
  // line holds the version and no other digit; the empty line ends the version reading,
  // so the digits of the digest and expiry lines after it never count.
  std::string page = "<html><head><title>Veloran</title></head><body><p>Veloran " +
                     vlr::DottedVersion(digits) + "</p></body></html>\r\n\r\n";
  for (const auto& [name, hex] : digests) page += vlr::DigestLine(name, hex) + "\r\n";
  if (expires) page += vlr::ExpiryLine(*expires) + "\r\n";
  return page;
}

namespace {

// Where the updater's version reading stops: just after the first empty line.
std::optional<std::size_t> TrailerStart(const std::string& page) {
  std::istringstream in(page);
  vlr::VersionLines lines(in);
  std::string line;
  while (lines.Next(line)) {
    if (line.empty()) return static_cast<std::size_t>(in.rdbuf()->pubseekoff(0, std::ios::cur, std::ios::in));
  }
  return std::nullopt;
}

}  // namespace

std::string PageWithExpiry(const std::string& page, std::optional<vlr::UtcDay> expires) {
  const std::optional<std::size_t> start = TrailerStart(page);
  if (!start) return page;
  std::string out = page.substr(0, *start);
  // The pieces the updater looks at end in CR LF, CR or LF; one that reads as an expiry
  // line goes, with its end.
  const std::string_view trailer = std::string_view(page).substr(*start);
  std::size_t at = 0;
  while (at < trailer.size()) {
    const std::size_t end = std::min(trailer.find_first_of("\r\n", at), trailer.size());
    std::size_t next = std::min(end + 1, trailer.size());
    if (end + 1 < trailer.size() && trailer[end] == '\r' && trailer[end + 1] == '\n') ++next;
    if (!vlr::ExpiryOfLine(trailer.substr(at, end - at))) out.append(trailer.substr(at, next - at));
    at = next;
  }
  if (expires) {
    if (out.back() != '\r' && out.back() != '\n') out += "\r\n";  // after an unended last line
    out += vlr::ExpiryLine(*expires) + "\r\n";
  }
  return out;
}

std::string ReadBackFailure(const std::filesystem::path& page, const std::string& digits,
                            const std::vector<NamedDigest>& digests,
                            std::optional<vlr::UtcDay> expires) {
  for (const auto& [name, hex] : digests) {
    std::ifstream in(page, std::ios::binary);  // closed at once: Windows renames no open file
    const std::string read = vlr::VersionDigits(in);
    const vlr::VersionTrailer trailer = vlr::ReadVersionTrailer(in, name);
    if (read != digits) return "the updater would read the version '" + read + "' from version.html";
    if (trailer.digest != hex) {
      return "the updater would not read the SHA-256 of " + name + " from version.html";
    }
    if (trailer.expires != expires) {
      return "the updater would read " +
             (trailer.expires ? "the expiry " + vlr::UtcDateText(*trailer.expires)
                              : std::string("no expiry")) +
             " from version.html";
    }
  }
  return {};
}

vlr::UtcDay UtcToday() { return vlr::UtcDayOf(static_cast<std::int64_t>(std::time(nullptr))); }

}  // namespace vlrpub
