// What a mirror is to the updater: how its address is written, what its files are
// called and how large they may be. The updater and vlrpublish both follow these, so
// that the tool judges a mirror exactly as the updater will use it.
#pragma once

#include <cstdint>
#include <string>

namespace vlr {

// The updater counts the bytes it receives in a signed 32-bit number: a package must
// stay below 2 GiB.
inline constexpr std::uint64_t kMaxPackageBytes = 0x7FFFFFFFu;

// The file every mirror serves first; its digits name the package.
inline constexpr char kVersionFileName[] = "version.html";

// The address as the download uses it: "http://" in front unless it starts with
// "http://" or "https://" (compared case-sensitively, so "HTTP://x" gains a second,
// lower-case scheme), and "/" at the end. An empty address gives "http://". An address
// that names a folder (mirror/folder_address.h) gives that folder's path instead.
// Throws only std::bad_alloc.
std::wstring NormalisedSiteAddress(std::wstring address);

// "vlr753.zip", or "vlr753fr.zip" for the French edition.
std::string PackageName(const std::string& digits, bool french);

// The file beside `name` that holds its signature: `name` + ".sig".
std::string SignatureName(const std::string& name);

// The file beside `name` that holds a second signature, by another key: `name` +
// ".sig2". While keys are being changed a mirror carries both: the first by the old
// key, read by every release, the second by the new one.
std::string SecondSignatureName(const std::string& name);

// True for a signature file's name (it ends in ".sig" or ".sig2").
bool IsSignatureName(const std::string& name);

// A signature answer larger than this is no signature (a DER P-256 one is at most 72
// bytes): its download fails as soon as it passes this size.
inline constexpr std::uint32_t kMaxSignatureBytes = 4096;

// The digits as the updater shows a version: "753" gives "7.5.3".
std::string DottedVersion(const std::string& digits);

}  // namespace vlr
