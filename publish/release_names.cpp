#include "publish/release_names.h"

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

std::string VersionPage(const std::string& digits, const std::vector<NamedDigest>& digests) {
  // Every line ends in CR LF: the updater's reading ends lines only at a CR. The first
  // line holds the version and no other digit; the empty line ends the version reading,
  // so the digits of the digest lines after it never count.
  std::string page = "<html><head><title>Veloran</title></head><body><p>Veloran " +
                     vlr::DottedVersion(digits) + "</p></body></html>\r\n\r\n";
  for (const auto& [name, hex] : digests) page += vlr::DigestLine(name, hex) + "\r\n";
  return page;
}

}  // namespace vlrpub
