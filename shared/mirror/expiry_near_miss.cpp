#include "mirror/expiry_near_miss.h"

#include <algorithm>
#include <cctype>
#include <sstream>
#include <string_view>

#include "mirror/version_file.h"

namespace vlr {

namespace {

bool MentionsExpiry(std::string_view line) {
  std::string lower(line);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower.find("expire") != std::string::npos;
}

}  // namespace

std::vector<NearMissExpiry> NearMissExpiryLines(std::istream& in) {
  std::vector<NearMissExpiry> found;
  VersionLines lines(in);
  std::string line;
  std::size_t number = 0;
  bool trailer = false;  // past the first empty line
  while (lines.Next(line)) {
    ++number;
    if (!trailer && line.empty()) {
      trailer = true;
      continue;
    }
    if (!MentionsExpiry(line)) continue;
    if (!trailer) {
      found.push_back({number, line,
                       "it stands before the first empty line, where the updater reads the "
                       "version and no expiry"});
      continue;
    }
    // Read as the updater reads the lines after the empty line (a LF alone splits pieces).
    std::istringstream asRead(line);
    if (!ReadVersionTrailer(asRead, "").expires) {
      found.push_back({number, line,
                       "it is not exactly <!-- expires YYYY-MM-DD --> with a day the month "
                       "has, so the updater ignores it"});
    }
  }
  return found;
}

}  // namespace vlr
