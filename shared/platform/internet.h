// The internet functions the download uses, shaped like their wininet namesakes
// (ANSI forms). On Windows they are wininet itself; on Linux a layer over
// libcurl with the same contract.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include "platform/unique_handle.h"

namespace platform {

using InternetHandle = std::uintptr_t;  // 0 = none

inline constexpr std::uint32_t kInternetOpenTypePreconfig = 0;
inline constexpr std::uint32_t kInternetFlagReload = 0x80000000u;
inline constexpr std::uint32_t kInternetFlagKeepConnection = 0x00400000u;
// How the updater and vlrpublish open every URL: from the server, never the cache.
inline constexpr std::uint32_t kOpenUrlFlags = kInternetFlagReload | kInternetFlagKeepConnection;
// How many bytes each of their reads asks for.
inline constexpr std::uint32_t kReadChunkBytes = 256;
inline constexpr std::uint32_t kHttpQueryContentLength = 5;
inline constexpr std::uint32_t kHttpQueryLastModified = 11;
inline constexpr std::uint32_t kHttpQueryStatusCode = 19;
inline constexpr std::uint32_t kHttpQueryContentRange = 53;
inline constexpr std::uint32_t kHttpQueryEtag = 54;
inline constexpr std::uint32_t kHttpQueryFlagNumber = 0x20000000u;
inline constexpr std::uint32_t kInternetOptionUrl = 34;

class Internet {
 public:
  virtual ~Internet() = default;

  // A session handle, 0 on failure.
  virtual InternetHandle InternetOpenA(const char* agent, std::uint32_t accessType,
                                       const char* proxy, const char* proxyBypass,
                                       std::uint32_t flags) = 0;

  // Blocks until the server's answer has begun; a handle to read the body from, 0 on
  // failure (no connection, no status line, a redirection the policy refuses, too many
  // of them). Redirections are followed as platform/http_policy.h says; the final
  // status is not examined here. `headers` are request header lines separated by
  // CR LF, `headersLength` characters of them (0xFFFFFFFF: up to the zero), sent with
  // every request of the redirections; a length of 0 sends none.
  virtual InternetHandle InternetOpenUrlA(InternetHandle session, const char* url,
                                          const char* headers, std::uint32_t headersLength,
                                          std::uint32_t flags, std::uintptr_t context) = 0;

  // Reads at most `bytesToRead` bytes. True with *bytesRead 0 at the end of the body;
  // false when the transfer broke.
  virtual bool InternetReadFile(InternetHandle file, void* buffer, std::uint32_t bytesToRead,
                                std::uint32_t* bytesRead) = 0;

  virtual bool InternetCloseHandle(InternetHandle handle) = 0;

  // A fact about the final answer on a URL handle: the status as a number
  // (kHttpQueryStatusCode | kHttpQueryFlagNumber, a 32-bit value in `buffer`), or as
  // zero-ended text the announced length (kHttpQueryContentLength, decimal digits) or
  // the value of the answer's ETag, Last-Modified or Content-Range header
  // (kHttpQueryEtag, kHttpQueryLastModified, kHttpQueryContentRange; the first one
  // sent). False when the answer does not tell it or the query is another; for text
  // that does not fit, false with *bufferLength set to the size needed.
  virtual bool HttpQueryInfoA(InternetHandle file, std::uint32_t infoLevel, void* buffer,
                              std::uint32_t* bufferLength, std::uint32_t* index) = 0;

  // kInternetOptionUrl on a URL handle: the final address, after the redirections, as
  // zero-ended text. False when the handle or option is unknown or the buffer too
  // small (*bufferLength then holds the size needed).
  virtual bool InternetQueryOptionA(InternetHandle /*handle*/, std::uint32_t /*option*/,
                                    void* /*buffer*/, std::uint32_t* /*bufferLength*/) {
    return false;
  }

  // The user name and password for a proxy that asks for credentials (407), used by
  // every later request of `session`. False where they cannot be given.
  virtual bool SetProxyCredentials(InternetHandle /*session*/, const std::string& /*user*/,
                                   const std::string& /*password*/) {
    return false;
  }

  // Why the last call on this thread failed, in words; empty when not known.
  virtual std::string LastErrorText() { return {}; }
};

// The final answer's status as a number, as the download and vlrpublish read it;
// nothing when the answer does not tell it.
inline std::optional<std::uint32_t> AnswerStatus(Internet& internet, InternetHandle url) {
  std::uint32_t status = 0, size = sizeof status, index = 0;
  if (!internet.HttpQueryInfoA(url, kHttpQueryStatusCode | kHttpQueryFlagNumber, &status, &size,
                               &index) ||
      size != sizeof status)
    return std::nullopt;
  return status;
}

// The value of one header of the final answer (kHttpQueryEtag, kHttpQueryLastModified,
// kHttpQueryContentRange, kHttpQueryContentLength) as the server sent it; nothing when
// the answer has none or it is longer than 4 KiB.
inline std::optional<std::string> AnswerHeader(Internet& internet, InternetHandle url,
                                               std::uint32_t infoLevel) {
  char text[4096];
  std::uint32_t size = sizeof text - 1, index = 0;
  if (!internet.HttpQueryInfoA(url, infoLevel, text, &size, &index) || size >= sizeof text)
    return std::nullopt;
  text[size] = '\0';
  return std::string(text);
}

// For the implementations of HttpQueryInfoA and InternetQueryOptionA: a text answer
// as wininet gives it, the text and its zero when they fit, else false with the size
// needed; a number answer, false when the buffer cannot hold it.
inline bool CopyAnswerText(const std::string& text, void* buffer, std::uint32_t* bufferLength) {
  if (!buffer || *bufferLength < text.size() + 1) {
    *bufferLength = static_cast<std::uint32_t>(text.size() + 1);
    return false;
  }
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  *bufferLength = static_cast<std::uint32_t>(text.size());
  return true;
}
inline bool CopyAnswerNumber(std::uint32_t value, void* buffer, std::uint32_t* bufferLength) {
  if (!buffer || *bufferLength < sizeof value) return false;
  std::memcpy(buffer, &value, sizeof value);
  *bufferLength = sizeof value;
  return true;
}

// Closes a handle through the Internet object it came from; a failure (an exception
// of a test double included) is ignored.
struct InternetCloser {
  Internet* internet = nullptr;
  void operator()(InternetHandle h) const noexcept {
    try {
      internet->InternetCloseHandle(h);
    } catch (...) {
    }
  }
};
using UniqueInternetHandle = UniqueHandle<InternetHandle, InternetCloser>;

}  // namespace platform
