// An internet that serves a few URLs from memory, 256 bytes a read at most.
#pragma once

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/internet.h"

namespace vlrtest {

class SiteInternet : public platform::Internet {
 public:
  std::map<std::string, std::string> pages;  // URL -> body; other URLs fail to open
  std::vector<std::string> requested;
  // Called after every non-empty read with the URL being read and the total so far.
  std::function<void(const std::string& url, size_t total)> onChunk;

  platform::InternetHandle InternetOpenA(const char*, std::uint32_t, const char*, const char*,
                                         std::uint32_t) override {
    return 1;
  }
  platform::InternetHandle InternetOpenUrlA(platform::InternetHandle, const char* url,
                                            const char*, std::uint32_t, std::uint32_t,
                                            std::uintptr_t) override {
    requested.push_back(url);
    if (!pages.count(url)) return 0;
    current_ = url;
    offset_ = 0;
    return 2;
  }
  bool InternetReadFile(platform::InternetHandle, void* buffer, std::uint32_t bytesToRead,
                        std::uint32_t* bytesRead) override {
    const std::string& body = pages[current_];
    size_t n = std::min<size_t>(bytesToRead, body.size() - offset_);
    std::memcpy(buffer, body.data() + offset_, n);
    offset_ += n;
    *bytesRead = static_cast<std::uint32_t>(n);
    if (n && onChunk) onChunk(current_, offset_);
    return true;
  }
  bool InternetCloseHandle(platform::InternetHandle) override { return true; }
  bool HttpQueryInfoA(platform::InternetHandle, std::uint32_t, void*, std::uint32_t*,
                      std::uint32_t*) override {
    return false;  // no status known: every answer is taken as it comes
  }

 private:
  std::string current_;
  size_t offset_ = 0;
};

}  // namespace vlrtest
