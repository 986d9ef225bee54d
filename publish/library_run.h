// Runs our extraction library on a package with the options the updater gives it:
// every member straight into one folder, existing files replaced, all messages on.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace vlrpub {

struct LibraryOutcome {
  std::int32_t code = -1;  // the library's result, 0 for success
  std::string printed;     // everything it printed, UTF-8
};

// Unpacks zip into folder as the updater would.
LibraryOutcome UnpackLikeUpdater(const std::filesystem::path& zip,
                                 const std::filesystem::path& folder);

// The same run as a test: every check made, every member decoded, nothing written.
LibraryOutcome TestLikeUpdater(const std::filesystem::path& zip);

// The lines of printed that start with "error: ", without that prefix, joined by "; ".
std::string LibraryErrors(const std::string& printed);

}  // namespace vlrpub
