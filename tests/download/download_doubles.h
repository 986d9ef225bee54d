// Test doubles for the download: a scripted internet, a disk that keeps files in
// memory (or only counts), and the byte pattern the loopback mirror serves.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "download/local_files.h"
#include "platform/internet.h"

namespace vlrtest {

// Byte i of the mirror's /size/N bodies.
inline std::string MirrorPattern(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i % 251);
  return s;
}

// An internet whose answers the test scripts: the body comes in the listed chunk
// sizes (or endlessly in `endlessChunk`-byte chunks), then ends or fails.
class FakeInternet : public platform::Internet {
 public:
  struct OpenCall {
    std::string agent;
    std::uint32_t accessType;
    bool proxyNull, bypassNull;
    std::uint32_t flags;
  };
  struct UrlCall {
    platform::InternetHandle session;
    std::string url;
    std::string headers;
    std::uint32_t headersLength;
    std::uint32_t flags;
    std::uintptr_t context;
  };

  // Script.
  bool sessionFails = false;
  bool urlFails = false;
  std::vector<std::uint32_t> chunks;  // sizes of the successful non-empty reads
  std::uint32_t endlessChunk = 0;     // when non-zero: chunks of this size forever
  bool failAtEnd = false;             // the read after the last chunk fails
  bool throwAtEnd = false;            // ... or throws
  std::function<void(std::uint32_t count)> onRead;  // after each successful read
  std::uint32_t status = 200;  // the answer's HTTP status

  // Record.
  std::vector<OpenCall> opens;
  std::vector<UrlCall> urls;
  std::vector<platform::InternetHandle> closed;
  std::vector<std::uint32_t> asked;  // bytesToRead of each read (not kept when endless)
  std::vector<std::uint32_t> queries;  // infoLevel of each HttpQueryInfoA
  std::uint64_t reads = 0;

  static constexpr platform::InternetHandle kSession = 0x1000;
  static constexpr platform::InternetHandle kUrl = 0x2000;

  platform::InternetHandle InternetOpenA(const char* agent, std::uint32_t accessType,
                                         const char* proxy, const char* proxyBypass,
                                         std::uint32_t flags) override {
    opens.push_back({agent ? agent : "<null>", accessType, proxy == nullptr,
                     proxyBypass == nullptr, flags});
    return sessionFails ? 0 : kSession;
  }

  platform::InternetHandle InternetOpenUrlA(platform::InternetHandle session, const char* url,
                                            const char* headers, std::uint32_t headersLength,
                                            std::uint32_t flags,
                                            std::uintptr_t context) override {
    urls.push_back({session, url ? url : "<null>", headers ? headers : "<null>", headersLength,
                    flags, context});
    return urlFails ? 0 : kUrl;
  }

  bool InternetReadFile(platform::InternetHandle file, void* buffer, std::uint32_t bytesToRead,
                        std::uint32_t* bytesRead) override {
    ++reads;
    *bytesRead = 0;
    if (file != kUrl) return false;
    std::uint32_t n = 0;
    if (endlessChunk) {
      n = endlessChunk < bytesToRead ? endlessChunk : bytesToRead;
    } else {
      asked.push_back(bytesToRead);
      if (next_ < chunks.size()) {
        n = chunks[next_++];
        if (n > bytesToRead) n = bytesToRead;
        for (std::uint32_t i = 0; i < n; ++i)
          static_cast<char*>(buffer)[i] = static_cast<char>((produced_ + i) % 251);
        produced_ += n;
      } else if (throwAtEnd) {
        throw std::runtime_error("broken platform");
      } else if (failAtEnd) {
        return false;
      }
    }
    *bytesRead = n;
    if (onRead) onRead(n);
    return true;
  }

  bool InternetCloseHandle(platform::InternetHandle handle) override {
    closed.push_back(handle);
    return true;
  }

  bool HttpQueryInfoA(platform::InternetHandle file, std::uint32_t infoLevel, void* buffer,
                      std::uint32_t* bufferLength, std::uint32_t*) override {
    queries.push_back(infoLevel);
    if (file != kUrl || *bufferLength < sizeof status) return false;
    std::memcpy(buffer, &status, sizeof status);
    *bufferLength = sizeof status;
    return true;
  }

 private:
  std::size_t next_ = 0;
  std::uint64_t produced_ = 0;
};

// A disk in memory. In counting mode the bytes are only counted, so that a test can
// write gigabytes.
class MemoryFiles : public vlr::LocalFiles {
 public:
  struct File {
    std::string data;
    std::uint64_t size = 0;
    bool open = false;
  };

  bool countOnly = false;
  bool createFails = false;
  std::optional<std::uint64_t> failWriteAfter;  // a write that would pass this fails
  std::map<std::wstring, File> files;
  std::vector<std::string> log;  // "delete", "create", "close" in order

  void Delete(const std::wstring& path) noexcept override {
    log.push_back("delete");
    auto it = files.find(path);
    if (it != files.end() && !it->second.open) files.erase(it);
  }

  std::unique_ptr<platform::PlainFile> Create(const std::wstring& path) override {
    log.push_back("create");
    if (createFails) return nullptr;
    File& f = files[path];
    f = File{};
    f.open = true;
    return std::make_unique<Writer>(*this, f);
  }

 private:
  class Writer : public platform::PlainFile {
   public:
    Writer(MemoryFiles& owner, File& file) : owner_(owner), file_(file) {}
    ~Writer() override { Close(); }
    bool Read(void*, std::size_t, std::size_t&) override { return false; }
    bool Seek(std::uint64_t) override { return false; }
    unsigned long Error() const override { return 0; }
    bool Write(const void* data, std::size_t size) override {
      if (owner_.failWriteAfter && file_.size + size > *owner_.failWriteAfter) return false;
      if (!owner_.countOnly) file_.data.append(static_cast<const char*>(data), size);
      file_.size += size;
      return true;
    }
    bool Close() override {
      if (file_.open) {
        file_.open = false;
        owner_.log.push_back("close");
      }
      return true;
    }

   private:
    MemoryFiles& owner_;
    File& file_;
  };
};

}  // namespace vlrtest
