// The files that go into one package: the folder's files, sorted by name, each name
// held to the rules the extraction library applies when it writes the member straight
// into Veloran's folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vlrpub {

struct PackageFile {
  std::string name;            // member name, UTF-8
  std::filesystem::path path;  // the file itself
  std::uint64_t size = 0;
  std::int64_t utcSeconds = 0;  // modification time, whole seconds
};

struct PackageFolder {
  std::vector<PackageFile> files;     // sorted by name (bytes), so the package is the same
                                      // whatever order the system lists them in
  std::vector<std::string> problems;  // every reason the folder cannot be a package
  std::vector<std::string> warnings;  // files that are packed but look left there by chance
  std::uint64_t totalSize = 0;
};

// Reads `folder` (what the messages call `label`, e.g. "the English folder"). The
// package can be made only when problems is empty: a missing folder, subfolders (all
// named), names the library would refuse (each with its reason), two names that are
// one file on Windows, something that is no ordinary file, a file of 4 GiB or more,
// or no file at all. Names in messages are escaped for printing (see shown_text.h).
// Files that systems and editors leave in folders (.DS_Store, Thumbs.db, desktop.ini,
// backups ending in ~) are packed all the same, and each is named in warnings. Nothing
// is written.
PackageFolder ReadPackageFolder(const std::filesystem::path& folder, const std::string& label);

// The file's modification time in whole seconds since 1970 (UTC); none when it cannot
// be asked about.
std::optional<std::int64_t> ModifiedUtc(const std::filesystem::path& path);

// True when the file's size or time is no longer what was listed (it was written to
// since), or it cannot be asked about.
bool ChangedSinceListed(const PackageFile& file);

}  // namespace vlrpub
