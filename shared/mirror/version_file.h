// Reading the version number out of the mirror's "version.html".
#pragma once

#include <cstddef>
#include <istream>
#include <optional>
#include <string>
#include <string_view>

#include "mirror/utc_date.h"

namespace vlr {

// Hands out the lines of a text stream one at a time, holding only the current one.
// A line ends at CR or CR LF; a lone LF ends no line. A line longer than kMaxLine
// characters is cut there and its rest comes as the following line(s), so that a
// file without line ends cannot fill the memory.
class VersionLines {
 public:
  static constexpr std::size_t kMaxLine = 64 * 1024;

  explicit VersionLines(std::istream& in) : in_(in) {}

  // The next line into `line`; false at the end of the stream (or when it fails),
  // leaving `line` as it was.
  bool Next(std::string& line);

 private:
  std::istream& in_;
};

// The ASCII digits of the lines of `in` up to the first empty line, of which the last
// three are kept (all of them when there are fewer). At least one line is read; the
// empty line that stops the reading contributes nothing, and nothing after it is
// read.
std::string VersionDigits(std::istream& in);

// The digest line a mirror gives for one of its packages, after the version file's
// first empty line: "<!-- sha256 vlr753.zip 9f86...0a08 -->".
std::string DigestLine(const std::string& packageName, const std::string& sha256Hex);

// The expiry line a signed version file may carry after its first empty line, beside
// the digest lines: "<!-- expires 2027-01-07 -->", a UTC date.
std::string ExpiryLine(UtcDay day);

// The day of an expiry line: `line` without its leading and trailing blanks (CR
// included) has exactly the form above with a date ParseUtcDate takes. Nothing for any
// other line, a malformed date included: such a line is no expiry line at all.
std::optional<UtcDay> ExpiryOfLine(std::string_view line);

// What the lines after the version file's first empty line give.
struct VersionTrailer {
  std::optional<std::string> digest;
  std::optional<UtcDay> expires;  // the earliest day of its expiry lines
};

// Reads `in` from where it stands to its end and gives the SHA-256 (64 lower-case hex
// digits) that its digest lines name for `packageName` (none when that is empty), and
// its expiry. A line counts when, without its leading and trailing blanks (CR
// included), it has exactly the form of DigestLine, the hex in either case. No digest
// when no line names the package, or when two lines name it with different digests.
VersionTrailer ReadVersionTrailer(std::istream& in, const std::string& packageName);

// A version file that expires on `expires` is good through the whole of that UTC day:
// it has expired only once `today` is a later day.
bool HasExpired(UtcDay expires, UtcDay today);

// What the run log says of an expired version file: "version file expired on
// 2027-01-07 (today 2027-01-09)".
std::string ExpiredText(UtcDay expires, UtcDay today);

}  // namespace vlr
