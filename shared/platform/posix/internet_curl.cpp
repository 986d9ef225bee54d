// The internet functions over libcurl, with wininet's contract as the download
// relies on it. Handles are small numbers into a table, so that a stale or foreign
// handle is refused instead of followed.
#include <curl/curl.h>

#include <cstdlib>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/http_policy.h"
#include "platform/internet.h"
#include "platform/posix/curl_request.h"
#include "platform/services.h"

namespace platform {

namespace {

// The header text as wininet takes it: `length` characters, or up to the zero when
// the length is all ones; lines separated by CR LF.
std::vector<std::string> HeaderLines(const char* headers, std::uint32_t length) {
  std::vector<std::string> lines;
  if (!headers || length == 0) return lines;
  std::string text = length == 0xFFFFFFFFu ? std::string(headers) : std::string(headers, length);
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    if (end > start) lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

// The header a text query asks for; null for other queries.
const char* HeaderName(std::uint32_t infoLevel) {
  switch (infoLevel) {
    case kHttpQueryEtag:
      return "etag";
    case kHttpQueryLastModified:
      return "last-modified";
    case kHttpQueryContentRange:
      return "content-range";
    default:
      return nullptr;
  }
}

class CurlInternet final : public Internet {
 public:
  CurlInternet() { initialised_ = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; }
  ~CurlInternet() override {
    handles_.clear();
    if (initialised_) curl_global_cleanup();
  }
  CurlInternet(const CurlInternet&) = delete;
  CurlInternet& operator=(const CurlInternet&) = delete;

  InternetHandle InternetOpenA(const char* agent, std::uint32_t accessType, const char* proxy,
                               const char* proxyBypass, std::uint32_t /*flags*/) override {
    if (!initialised_) return 0;
    auto entry = std::make_unique<Entry>();
    entry->settings.agent = agent ? agent : "";
    entry->settings.accessType = accessType;
    entry->settings.proxy = proxy ? proxy : "";
    entry->settings.proxyBypass = proxyBypass ? proxyBypass : "";
    const HttpTimeouts timeouts = SessionTimeouts();
    entry->settings.connectTimeoutSeconds = timeouts.connectSeconds;
    entry->settings.silenceTimeoutSeconds = timeouts.silenceSeconds;
    return Add(std::move(entry));
  }

  // There is no cache here, so every request goes to the server as the reload flag
  // asks; connections are not kept between requests.
  InternetHandle InternetOpenUrlA(InternetHandle session, const char* url, const char* headers,
                                  std::uint32_t headersLength, std::uint32_t /*flags*/,
                                  std::uintptr_t /*context*/) override {
    Entry* parent = Find(session);
    if (!parent || parent->request || !url) return 0;
    lastError_.clear();
    const std::vector<std::string> headerLines = HeaderLines(headers, headersLength);
    std::string address = url;
    for (int redirections = 0;; ++redirections) {
      auto request = std::make_unique<CurlRequest>();
      if (!request->Start(address, headerLines, parent->settings)) {
        lastError_ = request->ErrorText();
        return 0;
      }
      std::string target =
          IsRedirection(request->Status()) ? request->RedirectTarget() : std::string();
      if (target.empty()) {
        if (!MayEndAt(url, request->EffectiveUrl())) {
          lastError_ = "an https request ended at " + request->EffectiveUrl();
          return 0;
        }
        auto entry = std::make_unique<Entry>();
        entry->parent = session;
        entry->request = std::move(request);
        return Add(std::move(entry));
      }
      if (redirections == kMaxRedirections) {
        lastError_ = "more than " + std::to_string(kMaxRedirections) + " redirections";
        return 0;
      }
      if (!MayRedirect(address, target)) {
        lastError_ = "a redirection to " + target + " is not followed";
        return 0;
      }
      address = std::move(target);
    }
  }

  bool InternetReadFile(InternetHandle file, void* buffer, std::uint32_t bytesToRead,
                        std::uint32_t* bytesRead) override {
    if (bytesRead) *bytesRead = 0;
    Entry* entry = Find(file);
    if (!entry || !entry->request) return false;
    if (entry->request->Read(buffer, bytesToRead, bytesRead)) return true;
    lastError_ = entry->request->ErrorText();
    return false;
  }

  // The status as a number, the announced length and the validators as text: the
  // final answer's, once the redirections have been followed.
  bool HttpQueryInfoA(InternetHandle file, std::uint32_t infoLevel, void* buffer,
                      std::uint32_t* bufferLength, std::uint32_t* /*index*/) override {
    Entry* entry = Find(file);
    if (!entry || !entry->request || !bufferLength) return false;
    if (infoLevel == kHttpQueryContentLength) {
      const long long length = entry->request->AnnouncedLength();
      return length >= 0 && CopyAnswerText(std::to_string(length), buffer, bufferLength);
    }
    if (const char* name = HeaderName(infoLevel)) {
      const std::optional<std::string> value = entry->request->Header(name);
      return value && CopyAnswerText(*value, buffer, bufferLength);
    }
    if (infoLevel != (kHttpQueryStatusCode | kHttpQueryFlagNumber)) return false;
    const long code = entry->request->Status();
    return code > 0 && CopyAnswerNumber(static_cast<std::uint32_t>(code), buffer, bufferLength);
  }

  bool InternetQueryOptionA(InternetHandle handle, std::uint32_t option, void* buffer,
                            std::uint32_t* bufferLength) override {
    Entry* entry = Find(handle);
    if (!entry || !entry->request || option != kInternetOptionUrl || !bufferLength) return false;
    return CopyAnswerText(entry->request->EffectiveUrl(), buffer, bufferLength);
  }

  std::string LastErrorText() override { return lastError_; }

  bool SetProxyCredentials(InternetHandle session, const std::string& user,
                           const std::string& password) override {
    Entry* entry = Find(session);
    if (!entry || entry->request) return false;
    entry->settings.proxyUser = user;
    entry->settings.proxyPassword = password;
    return true;
  }

  // Closing a session closes the URL handles opened from it, as wininet does.
  bool InternetCloseHandle(InternetHandle handle) override {
    auto it = handles_.find(handle);
    if (it == handles_.end()) return false;
    handles_.erase(it);
    for (auto child = handles_.begin(); child != handles_.end();) {
      child = child->second->parent == handle ? handles_.erase(child) : std::next(child);
    }
    return true;
  }

 private:
  struct Entry {
    CurlSettings settings;              // sessions
    InternetHandle parent = 0;          // URL handles: their session
    std::unique_ptr<CurlRequest> request;  // URL handles
  };

  InternetHandle Add(std::unique_ptr<Entry> entry) {
    InternetHandle handle = ++lastHandle_;
    if (handle == 0) handle = ++lastHandle_;
    handles_[handle] = std::move(entry);
    return handle;
  }

  Entry* Find(InternetHandle handle) {
    auto it = handles_.find(handle);
    return it == handles_.end() ? nullptr : it->second.get();
  }

  bool initialised_ = false;
  std::string lastError_;  // the one thread's last failure
  InternetHandle lastHandle_ = 0;
  std::map<InternetHandle, std::unique_ptr<Entry>> handles_;
};

}  // namespace

template <>
Internet& DefaultService<Internet>() {
  static CurlInternet internet;
  return internet;
}

}  // namespace platform
