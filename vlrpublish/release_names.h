// A release as the publisher gives it: its version text and the version page made for
// it. The names on the mirror follow mirror/mirror_rules.h.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "mirror/utc_date.h"

namespace vlrpub {

// The digits of a version written as three single digits with dots ("7.5.3" gives
// "753"). Empty when the text is anything else; `why` then says what is wrong and
// what the updater would make of it.
std::string ReleaseDigits(const std::string& version, std::string& why);

// A package's name and its SHA-256 in lower-case hex: ("vlr753.zip", "9f86...0a08").
using NamedDigest = std::pair<std::string, std::string>;

// version.html for the digits: a small page with no other digit before its first
// empty line, so the updater's reading finds exactly these three; after that empty
// line, one digest line per package (mirror/version_file.h), in the order given, and
// the expiry line when it `expires`.
std::string VersionPage(const std::string& digits, const std::vector<NamedDigest>& digests,
                        std::optional<vlr::UtcDay> expires = std::nullopt);

// `page` with the expiry lines after its first empty line taken out and, when it
// `expires`, a new one at its end; every other byte stays, lines of the expiry form
// before the empty line too (they are text of the version reading). A page without an
// empty line has no place for the line and is given back as it is.
std::string PageWithExpiry(const std::string& page, std::optional<vlr::UtcDay> expires);

// Reads `page` back as the updater reads it: the digits up to the first empty line,
// then from there the digest line of each package in `digests` and the expiry. Empty
// when it gives `digits`, every digest and `expires`; else what the updater would read
// instead.
std::string ReadBackFailure(const std::filesystem::path& page, const std::string& digits,
                            const std::vector<NamedDigest>& digests,
                            std::optional<vlr::UtcDay> expires);

// Today's date in UTC by this computer's clock.
vlr::UtcDay UtcToday();

}  // namespace vlrpub
