// The internet functions: wininet itself, with its handles carried as numbers.
// Three guards are added around it, so that both builds keep the same contract:
// - explicit timeouts on every session (a minute to connect, half a minute of
//   silence), as Windows' own defaults, so that a silent server cannot hold the
//   updater forever where the platform's default is to wait without end;
// - a body that ends short of its announced Content-Length fails the last read
//   instead of passing for a complete one (wininet reports such an end as success);
// - a connection that closes without any answer is no answer (Wine's wininet hands
//   out a handle with status 0 for it).
#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <cstdlib>
#include <map>

#include "platform/internet.h"
#include "platform/services.h"

namespace platform {

namespace {

HINTERNET ToNative(InternetHandle handle) { return reinterpret_cast<HINTERNET>(handle); }
InternetHandle FromNative(HINTERNET handle) { return reinterpret_cast<InternetHandle>(handle); }

// VLR_INTERNET_TIMEOUT (seconds) shortens both timeouts, for tests of a silent server.
void SetTimeouts(HINTERNET session) {
  DWORD connectMs = 60000, receiveMs = 30000;
  char text[32];
  DWORD n = GetEnvironmentVariableA("VLR_INTERNET_TIMEOUT", text, sizeof text);
  if (n > 0 && n < sizeof text) {
    long seconds = std::strtol(text, nullptr, 10);
    if (seconds > 0) connectMs = receiveMs = static_cast<DWORD>(seconds) * 1000;
  }
  InternetSetOptionA(session, INTERNET_OPTION_CONNECT_TIMEOUT, &connectMs, sizeof connectMs);
  InternetSetOptionA(session, INTERNET_OPTION_RECEIVE_TIMEOUT, &receiveMs, sizeof receiveMs);
  InternetSetOptionA(session, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, &receiveMs, sizeof receiveMs);
}

// The announced length of the answer on `url`, or -1 when there is none.
long long ContentLength(HINTERNET url) {
  char text[32] = {};
  DWORD size = sizeof text - 1;
  DWORD index = 0;
  if (!HttpQueryInfoA(url, HTTP_QUERY_CONTENT_LENGTH, text, &size, &index)) return -1;
  char* end = nullptr;
  long long length = std::strtoll(text, &end, 10);
  return end != text && length >= 0 ? length : -1;
}

// True when the server sent a status line.
bool Answered(HINTERNET url) {
  DWORD code = 0, size = sizeof code, index = 0;
  return HttpQueryInfoA(url, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code, &size,
                        &index) &&
         code >= 100;
}

class WinInet final : public Internet {
 public:
  InternetHandle InternetOpenA(const char* agent, std::uint32_t accessType, const char* proxy,
                               const char* proxyBypass, std::uint32_t flags) override {
    HINTERNET session = ::InternetOpenA(agent, accessType, proxy, proxyBypass, flags);
    if (session) SetTimeouts(session);
    return FromNative(session);
  }

  InternetHandle InternetOpenUrlA(InternetHandle session, const char* url, const char* headers,
                                  std::uint32_t headersLength, std::uint32_t flags,
                                  std::uintptr_t context) override {
    HINTERNET handle = ::InternetOpenUrlA(ToNative(session), url, headers, headersLength, flags,
                                          static_cast<DWORD_PTR>(context));
    if (handle && !Answered(handle)) {
      ::InternetCloseHandle(handle);
      SetLastError(ERROR_HTTP_INVALID_SERVER_RESPONSE);
      return 0;
    }
    if (handle) bodies_[handle] = Body{ContentLength(handle), 0};
    return FromNative(handle);
  }

  bool InternetReadFile(InternetHandle file, void* buffer, std::uint32_t bytesToRead,
                        std::uint32_t* bytesRead) override {
    DWORD count = 0;
    BOOL ok = ::InternetReadFile(ToNative(file), buffer, bytesToRead, &count);
    if (bytesRead) *bytesRead = count;
    auto it = bodies_.find(ToNative(file));
    if (!ok || it == bodies_.end()) return ok != FALSE;
    Body& body = it->second;
    body.received += count;
    if (count == 0 && bytesToRead > 0 && body.announced >= 0 && body.received < body.announced) {
      SetLastError(ERROR_INTERNET_CONNECTION_ABORTED);
      return false;
    }
    return true;
  }

  bool InternetCloseHandle(InternetHandle handle) override {
    bodies_.erase(ToNative(handle));
    return ::InternetCloseHandle(ToNative(handle)) != FALSE;
  }

  bool HttpQueryInfoA(InternetHandle file, std::uint32_t infoLevel, void* buffer,
                      std::uint32_t* bufferLength, std::uint32_t* index) override {
    if (!bufferLength) return false;
    DWORD length = *bufferLength;
    DWORD at = index ? *index : 0;
    BOOL ok = ::HttpQueryInfoA(ToNative(file), infoLevel, buffer, &length, index ? &at : nullptr);
    *bufferLength = length;
    if (index) *index = at;
    return ok != FALSE;
  }

 private:
  struct Body {
    long long announced;  // Content-Length, -1 when none was sent
    long long received;
  };
  std::map<HINTERNET, Body> bodies_;
};

}  // namespace

template <>
Internet& DefaultService<Internet>() {
  static WinInet internet;
  return internet;
}

}  // namespace platform
