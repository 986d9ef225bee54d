// A package judged by our extraction library, as the updater would run it (every member
// straight into one folder, existing files replaced, all messages on): its self-check
// must give back exactly the files it was made of.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "vlrpublish/package_folder.h"

namespace vlrpub {

struct LibraryOutcome {
  std::int32_t code = -1;  // the library's result, 0 for success
  std::string printed;     // everything it printed, UTF-8
};

// The updater's run of zip as a test: every check made, every member decoded, nothing
// written.
LibraryOutcome TestLikeUpdater(const std::filesystem::path& zip);

// The lines of printed that start with "error: ", without that prefix, joined by "; ".
std::string LibraryErrors(const std::string& printed);

// Unpacks zip (called `name` in messages) into a fresh folder made in `beside` (named
// `stem` + a number) and compares it with files: the same names, every file byte for
// byte, every time within two seconds. Empty when all agree; else the first difference
// (a source file that changed since it was listed is named as such), the room the
// unpacking needs when the volume lacks it, or the library's errors. The folder is
// removed before returning.
std::string CheckUnpacksToSources(const PackageFolder& files, const std::string& name,
                                  const std::filesystem::path& zip,
                                  const std::filesystem::path& beside, const std::string& stem);

}  // namespace vlrpub
