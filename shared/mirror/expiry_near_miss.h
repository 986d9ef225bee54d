// Lines of a version file that a publisher meant as its expiry line but that the
// updater does not read as one: they protect nothing, and nobody would notice.
#pragma once

#include <istream>
#include <string>
#include <vector>

namespace vlr {

struct NearMissExpiry {
  std::size_t lineNumber = 0;  // from 1, lines ending at CR or CR LF as the updater reads them
  std::string line;            // the line as it is
  std::string why;             // why the updater does not take it
};

// Reads the whole version file from `in` and gives every line that mentions "expire" in
// any case but is not an expiry line the updater takes: one before the first empty line
// (the version reading's part, where its digits count towards the version and no expiry
// is looked for), and one after it whose form or day is not exactly
// "<!-- expires YYYY-MM-DD -->" with a day the month has.
std::vector<NearMissExpiry> NearMissExpiryLines(std::istream& in);

}  // namespace vlr
