// A release as the publisher gives it: its version text and the version page made for
// it. The names on the mirror follow mirror/mirror_rules.h.
#pragma once

#include <string>

namespace vlrpub {

// The digits of a version written as three single digits with dots ("7.5.3" gives
// "753"). Empty when the text is anything else; `why` then says what is wrong and
// what the updater would make of it.
std::string ReleaseDigits(const std::string& version, std::string& why);

// version.html for the digits: a small page with no other digit before its first
// empty line, so the updater's reading finds exactly these three.
std::string VersionPage(const std::string& digits);

}  // namespace vlrpub
