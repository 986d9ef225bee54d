// The internet functions: wininet itself, with its handles carried as numbers.
// Guards are added around it, so that both builds keep the same contract:
// - the session timeouts of platform/http_policy.h, set explicitly on every request
//   before it is sent, so that a silent server cannot hold the updater forever (Wine
//   takes them from the request only, so a URL is opened as InternetOpenUrlA opens
//   it, in its steps: connect, open the request, send it);
// - redirections followed here under the one policy, not by wininet (Wine's wininet
//   follows a loop without end, and each system has its own rule for schemes);
// - a body that ends short of its announced Content-Length fails the last read
//   instead of passing for a complete one (wininet reports such an end as success);
// - a connection that closes without any answer is no answer (Wine's wininet hands
//   out a handle with status 0 for it).
#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "platform/http_policy.h"
#include "platform/internet.h"
#include "platform/services.h"
#include "platform/unique_handle.h"

namespace platform {

namespace {

HINTERNET ToNative(InternetHandle handle) { return reinterpret_cast<HINTERNET>(handle); }
InternetHandle FromNative(HINTERNET handle) { return reinterpret_cast<InternetHandle>(handle); }

void SetTimeouts(HINTERNET handle) {
  const HttpTimeouts timeouts = SessionTimeouts();
  DWORD connectMs = static_cast<DWORD>(timeouts.connectSeconds) * 1000;
  DWORD receiveMs = static_cast<DWORD>(timeouts.silenceSeconds) * 1000;
  InternetSetOptionA(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &connectMs, sizeof connectMs);
  InternetSetOptionA(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &receiveMs, sizeof receiveMs);
  InternetSetOptionA(handle, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, &receiveMs, sizeof receiveMs);
}

using UniqueInternet = UniqueHandle<HINTERNET, CloseWith<::InternetCloseHandle>>;

// One request as InternetOpenUrlA makes it, with the timeouts set before it is sent:
// the request handle and the connection it was opened on, or two nulls (the system's
// error code kept).
struct Request {
  UniqueInternet connection;
  UniqueInternet request;  // declared last: destroyed first

  void Close() {
    request.reset();
    connection.reset();
  }
};

DWORD Status(HINTERNET url);

// A proxy's user name and password, given to each request before it is sent: wininet
// then answers the proxy's 407 itself.
struct ProxyCredentials {
  std::wstring user;
  std::wstring password;
};

std::wstring Wide(const std::string& ansi) {
  if (ansi.empty()) return {};
  const int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()),
                                    nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0)
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(), n);
  return wide;
}

Request OpenRequest(HINTERNET session, const std::string& url, const char* headers,
                    DWORD headersLength, DWORD flags, DWORD_PTR context,
                    const ProxyCredentials* proxy) {
  char host[INTERNET_MAX_HOST_NAME_LENGTH] = {}, user[256] = {}, password[256] = {};
  std::string path(url.size() + 1, '\0'), extra(url.size() + 1, '\0');
  URL_COMPONENTSA parts = {};
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = host;
  parts.dwHostNameLength = sizeof host;
  parts.lpszUserName = user;
  parts.dwUserNameLength = sizeof user;
  parts.lpszPassword = password;
  parts.dwPasswordLength = sizeof password;
  parts.lpszUrlPath = path.data();
  parts.dwUrlPathLength = static_cast<DWORD>(path.size());
  parts.lpszExtraInfo = extra.data();
  parts.dwExtraInfoLength = static_cast<DWORD>(extra.size());
  if (!InternetCrackUrlA(url.c_str(), 0, 0, &parts)) return {};
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) {
    SetLastError(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
    return {};
  }
  if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
  const std::string object = std::string(path.c_str()) + extra.c_str();

  Request r;
  r.connection.reset(InternetConnectA(session, host, parts.nPort, user[0] ? user : nullptr,
                                      password[0] ? password : nullptr, INTERNET_SERVICE_HTTP,
                                      0, context));
  if (!r.connection) return {};
  const char* accept[] = {"*/*", nullptr};
  r.request.reset(HttpOpenRequestA(r.connection.get(), "GET",
                                   object.empty() ? "/" : object.c_str(), nullptr, nullptr,
                                   accept, flags, context));
  if (r.request) {
    SetTimeouts(r.request.get());
    if (proxy) {
      InternetSetOptionW(r.request.get(), INTERNET_OPTION_PROXY_USERNAME,
                         const_cast<wchar_t*>(proxy->user.c_str()),
                         static_cast<DWORD>(proxy->user.size() + 1));
      InternetSetOptionW(r.request.get(), INTERNET_OPTION_PROXY_PASSWORD,
                         const_cast<wchar_t*>(proxy->password.c_str()),
                         static_cast<DWORD>(proxy->password.size() + 1));
    }
    if (HttpSendRequestA(r.request.get(), headers, headersLength, nullptr, 0)) {
      // Windows answers the proxy's challenge with the credentials only when the
      // request is sent again (Wine answers it inside the first send): the 407's body
      // is read away and the request sent once more.
      if (!proxy || Status(r.request.get()) != HTTP_STATUS_PROXY_AUTH_REQ) return r;
      char drain[256];
      DWORD got = 0;
      while (::InternetReadFile(r.request.get(), drain, sizeof drain, &got) && got > 0) {
      }
      if (HttpSendRequestA(r.request.get(), headers, headersLength, nullptr, 0)) return r;
    }
  }
  const DWORD error = GetLastError();
  r.Close();
  SetLastError(error);
  return r;
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

// The status the server sent, 0 when it sent no status line.
DWORD Status(HINTERNET url) {
  DWORD code = 0, size = sizeof code, index = 0;
  if (!HttpQueryInfoA(url, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code, &size, &index))
    return 0;
  return code >= 100 ? code : 0;
}

// The absolute address the redirection on `url` (opened for `from`) points to; empty
// when it names none.
std::string RedirectTarget(HINTERNET url, const std::string& from) {
  std::string location(2048, '\0');
  DWORD size = static_cast<DWORD>(location.size());
  DWORD index = 0;
  if (!HttpQueryInfoA(url, HTTP_QUERY_LOCATION, location.data(), &size, &index)) return {};
  location.resize(size);
  std::string target(4096, '\0');
  DWORD length = static_cast<DWORD>(target.size());
  if (!InternetCombineUrlA(from.c_str(), location.c_str(), target.data(), &length, ICU_NO_ENCODE))
    return {};
  target.resize(length);
  return target;
}

// The address the answer on `url` came from; empty when wininet does not say.
std::string FinalUrl(HINTERNET url) {
  std::string text(4096, '\0');
  DWORD length = static_cast<DWORD>(text.size());
  if (!InternetQueryOptionA(url, INTERNET_OPTION_URL, text.data(), &length)) return {};
  text.resize(std::strlen(text.c_str()));
  return text;
}

std::string SystemMessage(DWORD code) {
  char text[512] = {};
  const DWORD n = FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
      GetModuleHandleA("wininet.dll"), code, 0, text, sizeof text, nullptr);
  std::string s(text, n);
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  return s.empty() ? "error " + std::to_string(code) : s + " (" + std::to_string(code) + ")";
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
    if (!url) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    std::string address = url;
    const auto proxy = proxies_.find(ToNative(session));
    for (int redirections = 0;; ++redirections) {
      Request r = OpenRequest(ToNative(session), address, headers, headersLength,
                              flags | INTERNET_FLAG_NO_AUTO_REDIRECT,
                              static_cast<DWORD_PTR>(context),
                              proxy == proxies_.end() ? nullptr : &proxy->second);
      if (!r.request) return 0;
      const DWORD status = Status(r.request.get());
      if (status == 0) return Refuse(r, ERROR_HTTP_INVALID_SERVER_RESPONSE);
      std::string target =
          IsRedirection(status) ? RedirectTarget(r.request.get(), address) : std::string();
      if (target.empty()) {
        if (!MayEndAt(url, FinalUrl(r.request.get())))
          return Refuse(r, ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR);
        HINTERNET handle = r.request.get();
        bodies_[handle] = Body{ContentLength(handle), 0, std::move(r.connection)};
        return FromNative(r.request.release());
      }
      if (!MayRedirect(address, target)) return Refuse(r, ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR);
      if (redirections == kMaxRedirections) return Refuse(r, ERROR_HTTP_REDIRECT_FAILED);
      address = std::move(target);
    }
  }

  // Like libcurl, hands out what has arrived: wininet's own read waits until it has
  // filled the whole buffer, which a server dripping a byte now and then can stretch
  // without end, past every check the caller makes between reads.
  bool InternetReadFile(InternetHandle file, void* buffer, std::uint32_t bytesToRead,
                        std::uint32_t* bytesRead) override {
    DWORD count = 0, available = 0;
    if (::InternetQueryDataAvailable(ToNative(file), &available, 0, 0) && available > 0 &&
        available < bytesToRead)
      bytesToRead = available;
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

  bool SetProxyCredentials(InternetHandle session, const std::string& user,
                           const std::string& password) override {
    if (!session) return false;
    proxies_[ToNative(session)] = ProxyCredentials{Wide(user), Wide(password)};
    return true;
  }

  // A URL handle goes with the connection it was opened on.
  bool InternetCloseHandle(InternetHandle handle) override {
    proxies_.erase(ToNative(handle));
    UniqueInternet connection;
    if (auto it = bodies_.find(ToNative(handle)); it != bodies_.end()) {
      connection = std::move(it->second.connection);
      bodies_.erase(it);
    }
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

  bool InternetQueryOptionA(InternetHandle handle, std::uint32_t option, void* buffer,
                            std::uint32_t* bufferLength) override {
    if (!bufferLength) return false;
    DWORD length = *bufferLength;
    BOOL ok = ::InternetQueryOptionA(ToNative(handle), option, buffer, &length);
    *bufferLength = length;
    return ok != FALSE;
  }

  std::string LastErrorText() override { return SystemMessage(GetLastError()); }

 private:
  struct Body {
    long long announced;  // Content-Length, -1 when none was sent
    long long received;
    UniqueInternet connection;  // closed with the URL handle
  };

  // Closes a request that is not handed out and fails with `error`.
  static InternetHandle Refuse(Request& r, DWORD error) {
    r.Close();
    SetLastError(error);
    return 0;
  }

  std::map<HINTERNET, Body> bodies_;
  std::map<HINTERNET, ProxyCredentials> proxies_;  // by session
};

}  // namespace

template <>
Internet& DefaultService<Internet>() {
  static WinInet internet;
  return internet;
}

}  // namespace platform
