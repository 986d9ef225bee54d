// A folder mirror read through the internet functions' contract: a "URL" is a file's
// path, its answer the file itself, so that the download reads it exactly as a web
// mirror's file (same reads, progress, events between reads and stop requests).
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "platform/internet.h"
#include "platform/plain_file.h"
#include "platform/services.h"

namespace platform {

class FolderSource : public Internet {
 public:
  InternetHandle InternetOpenA(const char* agent, std::uint32_t accessType, const char* proxy,
                               const char* proxyBypass, std::uint32_t flags) override;

  // `url` is the file's path in the system code page. 0 (LastErrorText says why) when
  // it is missing, not a regular file (a folder, a device, a pipe) or cannot be opened
  // for reading. Headers and flags mean nothing to a file and are ignored.
  InternetHandle InternetOpenUrlA(InternetHandle session, const char* url, const char* headers,
                                  std::uint32_t headersLength, std::uint32_t flags,
                                  std::uintptr_t context) override;

  bool InternetReadFile(InternetHandle file, void* buffer, std::uint32_t bytesToRead,
                        std::uint32_t* bytesRead) override;

  bool InternetCloseHandle(InternetHandle handle) override;

  // The status of an opened file is 200 and its announced length the size it had
  // when it was opened; nothing else is known.
  bool HttpQueryInfoA(InternetHandle file, std::uint32_t infoLevel, void* buffer,
                      std::uint32_t* bufferLength, std::uint32_t* index) override;

  std::string LastErrorText() override { return lastError_; }

 private:
  // The file is read from the system in blocks and handed out in the pieces asked for:
  // a system call per 256 bytes would make a folder slower than a web server.
  static constexpr std::size_t kBlockBytes = 64 * 1024;
  struct Open {
    std::unique_ptr<PlainFile> file;
    std::uint64_t size = 0;
    std::unique_ptr<char[]> block;
    std::size_t at = 0;      // next byte of `block` to hand out
    std::size_t filled = 0;  // bytes in `block`
  };
  std::map<InternetHandle, Open> files_;
  InternetHandle next_ = 1;
  std::string lastError_;
};

// The one reader of folder mirrors.
template <>
FolderSource& DefaultService<FolderSource>();

}  // namespace platform
