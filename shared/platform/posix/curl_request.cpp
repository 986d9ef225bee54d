#include "platform/posix/curl_request.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

namespace platform {

bool CurlRequest::Start(const std::string& url, const std::vector<std::string>& extraHeaders,
                        const CurlSettings& settings) {
  multi_.reset(curl_multi_init());
  easy_.reset(curl_easy_init());
  if (!multi_ || !easy_) return false;
  url_ = url;
  for (const std::string& h : extraHeaders) {
    curl_slist* list = curl_slist_append(headers_.get(), h.c_str());
    if (!list) return false;
    headers_.release();
    headers_.reset(list);
  }

  CURL* e = easy_.get();
  bool ok = curl_easy_setopt(e, CURLOPT_URL, url_.c_str()) == CURLE_OK;
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  // Redirections are followed by the caller, under the one policy of both builds.
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(e, CURLOPT_ERRORBUFFER, error_);
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, settings.connectTimeoutSeconds);
  // A server that sends nothing for the silence timeout (before or during the body)
  // ends the transfer, as the receive timeout does on Windows.
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, settings.silenceTimeoutSeconds);
  if (!settings.agent.empty()) curl_easy_setopt(e, CURLOPT_USERAGENT, settings.agent.c_str());
  if (settings.accessType == 1) {
    curl_easy_setopt(e, CURLOPT_PROXY, "");  // direct: ignore the environment
  } else if (settings.accessType == 3) {
    curl_easy_setopt(e, CURLOPT_PROXY, settings.proxy.c_str());
    if (!settings.proxyBypass.empty())
      curl_easy_setopt(e, CURLOPT_NOPROXY, settings.proxyBypass.c_str());
  }  // 0, preconfigured: libcurl takes http_proxy / no_proxy from the environment
  if (!settings.proxyUser.empty()) {
    curl_easy_setopt(e, CURLOPT_PROXYUSERNAME, settings.proxyUser.c_str());
    curl_easy_setopt(e, CURLOPT_PROXYPASSWORD, settings.proxyPassword.c_str());
  }
  if (headers_) curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers_.get());
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &CurlRequest::OnBody);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &CurlRequest::OnHeader);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
  if (!ok) return false;

  if (curl_multi_add_handle(multi_.get(), e) != CURLM_OK) return false;
  attachment_.multi = multi_.get();
  attachment_.easy = e;

  while (!answered_ && !finished_) Pump();
  return answered_ || outcome_ == CURLE_OK;
}

bool CurlRequest::Read(void* buffer, std::uint32_t size, std::uint32_t* count) {
  if (!count) return false;
  *count = 0;
  if (!buffer || !easy_) return false;
  if (size == 0) return true;
  while (!HasData()) {
    if (finished_) return outcome_ == CURLE_OK;
    Pump();
  }
  std::size_t n = std::min<std::size_t>(size, data_.size() - offset_);
  std::memcpy(buffer, data_.data() + offset_, n);
  offset_ += n;
  if (offset_ == data_.size()) {
    data_.clear();  // keeps its capacity: memory stays flat over a long body
    offset_ = 0;
  }
  *count = static_cast<std::uint32_t>(n);
  return true;
}

long CurlRequest::Status() const {
  long code = 0;
  if (!easy_ || curl_easy_getinfo(easy_.get(), CURLINFO_RESPONSE_CODE, &code) != CURLE_OK)
    return 0;
  return code;
}

std::string CurlRequest::RedirectTarget() {
  while (easy_ && !finished_) Pump();
  char* target = nullptr;
  if (!easy_ || curl_easy_getinfo(easy_.get(), CURLINFO_REDIRECT_URL, &target) != CURLE_OK ||
      !target)
    return {};
  return target;
}

std::optional<std::string> CurlRequest::Header(std::string_view name) const {
  auto it = headerValues_.find(name);
  if (it == headerValues_.end()) return std::nullopt;
  return it->second;
}

std::string CurlRequest::EffectiveUrl() const {
  char* url = nullptr;
  if (!easy_ || curl_easy_getinfo(easy_.get(), CURLINFO_EFFECTIVE_URL, &url) != CURLE_OK || !url)
    return url_;
  return url;
}

long long CurlRequest::AnnouncedLength() const {
  curl_off_t length = -1;
  if (!easy_ ||
      curl_easy_getinfo(easy_.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK)
    return -1;
  return length;
}

std::string CurlRequest::ErrorText() const {
  if (error_[0]) return error_;
  return curl_easy_strerror(outcome_ == CURLE_OK ? CURLE_RECV_ERROR : outcome_);
}

void CurlRequest::Pump() {
  int running = 0;
  if (curl_multi_perform(multi_.get(), &running) != CURLM_OK) {
    finished_ = true;
    outcome_ = CURLE_RECV_ERROR;
    return;
  }
  CollectOutcome();
  if (finished_ || HasData()) return;
  // curl decides how long to wait (its timeouts included); a second at most.
  curl_multi_poll(multi_.get(), nullptr, 0, 1000, nullptr);
}

void CurlRequest::CollectOutcome() {
  int left = 0;
  while (CURLMsg* message = curl_multi_info_read(multi_.get(), &left)) {
    if (message->msg == CURLMSG_DONE && message->easy_handle == easy_.get()) {
      finished_ = true;
      outcome_ = message->data.result;
    }
  }
}

// Only the multi handle's perform calls this, and only when the buffer was empty, so
// the buffer holds at most what one perform call reads.
std::size_t CurlRequest::OnBody(char* data, std::size_t size, std::size_t n, void* self) {
  auto* request = static_cast<CurlRequest*>(self);
  std::size_t bytes = size * n;
  try {
    request->data_.insert(request->data_.end(), data, data + bytes);
  } catch (...) {
    return 0;  // out of memory: curl ends the transfer with a write error
  }
  request->answered_ = true;
  return bytes;
}

// Headers come line by line, each answer's block beginning with its status line and
// ending with an empty line. The answer has begun when a block ends that is not
// interim (1xx); the values kept are those of the block read last.
std::size_t CurlRequest::OnHeader(char* data, std::size_t size, std::size_t n, void* self) {
  auto* request = static_cast<CurlRequest*>(self);
  std::size_t bytes = size * n;
  std::string_view line(data, bytes);
  if (line.substr(0, 5) == "HTTP/") {
    request->headerValues_.clear();
  } else if (const std::size_t colon = line.find(':'); colon != std::string_view::npos) {
    try {
      std::string name(line.substr(0, colon));
      for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      std::string_view value = line.substr(colon + 1);
      value.remove_prefix(std::min(value.size(), value.find_first_not_of(" \t")));
      value = value.substr(0, value.find_last_not_of(" \t\r\n") + 1);
      request->headerValues_.emplace(std::move(name), std::string(value));  // the first stays
    } catch (...) {
      return 0;  // out of memory: curl ends the transfer
    }
  }
  if (line == "\r\n" || line == "\n") {
    long code = 0;
    curl_easy_getinfo(request->easy_.get(), CURLINFO_RESPONSE_CODE, &code);
    const bool interim = code >= 100 && code < 200;
    if (!interim) request->answered_ = true;
  }
  return bytes;
}

}  // namespace platform
