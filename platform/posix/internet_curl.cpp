// The internet functions over libcurl, with wininet's contract as the download
// relies on it. Handles are small numbers into a table, so that a stale or foreign
// handle is refused instead of followed.
#include <curl/curl.h>

#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/internet.h"
#include "platform/posix/curl_request.h"
#include "platform/services.h"

namespace platform {

namespace {

// Windows gives a connection a minute and a silent server about half a minute.
// VLR_INTERNET_TIMEOUT (seconds) shortens both, for tests of a silent server.
void ApplyTimeouts(CurlSettings& settings) {
  if (const char* text = std::getenv("VLR_INTERNET_TIMEOUT")) {
    long seconds = std::strtol(text, nullptr, 10);
    if (seconds > 0) settings.connectTimeoutSeconds = settings.silenceTimeoutSeconds = seconds;
  }
}

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
    ApplyTimeouts(entry->settings);
    return Add(std::move(entry));
  }

  // There is no cache here, so every request goes to the server as the reload flag
  // asks; connections are not kept between requests.
  InternetHandle InternetOpenUrlA(InternetHandle session, const char* url, const char* headers,
                                  std::uint32_t headersLength, std::uint32_t /*flags*/,
                                  std::uintptr_t /*context*/) override {
    Entry* parent = Find(session);
    if (!parent || parent->request || !url) return 0;
    auto entry = std::make_unique<Entry>();
    entry->parent = session;
    entry->request = std::make_unique<CurlRequest>();
    if (!entry->request->Start(url, HeaderLines(headers, headersLength), parent->settings))
      return 0;
    return Add(std::move(entry));
  }

  bool InternetReadFile(InternetHandle file, void* buffer, std::uint32_t bytesToRead,
                        std::uint32_t* bytesRead) override {
    if (bytesRead) *bytesRead = 0;
    Entry* entry = Find(file);
    if (!entry || !entry->request) return false;
    return entry->request->Read(buffer, bytesToRead, bytesRead);
  }

  // Only the status as a number is known here: the final answer's, once the
  // redirections have been followed.
  bool HttpQueryInfoA(InternetHandle file, std::uint32_t infoLevel, void* buffer,
                      std::uint32_t* bufferLength, std::uint32_t* /*index*/) override {
    Entry* entry = Find(file);
    if (!entry || !entry->request || !buffer || !bufferLength) return false;
    if (infoLevel != (kHttpQueryStatusCode | kHttpQueryFlagNumber)) return false;
    if (*bufferLength < sizeof(std::uint32_t)) return false;
    long code = entry->request->Status();
    if (code <= 0) return false;
    std::uint32_t value = static_cast<std::uint32_t>(code);
    std::memcpy(buffer, &value, sizeof value);
    *bufferLength = sizeof value;
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
