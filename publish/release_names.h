// What a release is called on a mirror: its three digits, the version page and the
// package names the updater asks for.
#pragma once

#include <string>

namespace vlrpub {

// The digits of a version written as three single digits with dots ("7.5.3" gives
// "753"). Empty when the text is anything else; `why` then says what is wrong and
// what the updater would make of it.
std::string VersionDigits(const std::string& version, std::string& why);

// version.html for the digits: a small page with no other digit before its first
// empty line, so the updater's reading finds exactly these three.
std::string VersionPage(const std::string& digits);

// "vlr753.zip", or "vlr753fr.zip" for the French edition.
std::string PackageName(const std::string& digits, bool french);

// "7.5.3", as the updater shows it.
std::string DottedVersion(const std::string& digits);

}  // namespace vlrpub
