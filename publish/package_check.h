// The self-check of a package: unpacked by our extraction library as the updater would,
// it must give back exactly the files it was made of.
#pragma once

#include <filesystem>
#include <string>

#include "publish/package_folder.h"

namespace vlrpub {

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
