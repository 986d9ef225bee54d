// One HTTP GET for the mirror check, through the updater's own internet functions
// (platform/internet.h), so that it is sent, redirected, timed and read exactly as
// the updater's download is; it also looks at what the download does not: the
// status and the announced length.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace vlrpub {

struct HttpAnswer {
  bool answered = false;        // the server sent a status line
  long status = 0;              // its status code
  std::int64_t announced = -1;  // Content-Length, -1 when none was sent
  std::uint64_t received = 0;   // body bytes written to the file
  bool complete = false;        // the body ended as the server said it would
  std::string error;            // why there was no answer or the body broke
};

// Called with the body bytes received so far and the announced length (or -1).
using GetProgress = std::function<void(std::uint64_t, std::int64_t)>;

// GETs url (or reads the file, for a folder mirror's path) and writes the body to `file` (created or replaced). Never throws. The file
// holds what arrived, also when the transfer broke.
HttpAnswer HttpGet(const std::string& url, const std::filesystem::path& file,
                   const GetProgress& progress = {});

}  // namespace vlrpub
