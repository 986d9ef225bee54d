// A release as the publisher gives it: its version text and the version page made for
// it. The names on the mirror follow mirror/mirror_rules.h.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace vlrpub {

// The digits of a version written as three single digits with dots ("7.5.3" gives
// "753"). Empty when the text is anything else; `why` then says what is wrong and
// what the updater would make of it.
std::string ReleaseDigits(const std::string& version, std::string& why);

// A package's name and its SHA-256 in lower-case hex: ("vlr753.zip", "9f86...0a08").
using NamedDigest = std::pair<std::string, std::string>;

// version.html for the digits: a small page with no other digit before its first
// empty line, so the updater's reading finds exactly these three; after that empty
// line, one digest line per package (mirror/version_file.h), in the order given.
std::string VersionPage(const std::string& digits, const std::vector<NamedDigest>& digests);

}  // namespace vlrpub
