#include "platform/http_policy.h"

#include <cstdlib>

namespace platform {

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

}  // namespace

HttpTimeouts SessionTimeouts() {
  HttpTimeouts timeouts;
  if (const char* text = std::getenv("VLR_INTERNET_TIMEOUT")) {
    long seconds = std::strtol(text, nullptr, 10);
    if (seconds > 0) timeouts.connectSeconds = timeouts.silenceSeconds = seconds;
  }
  return timeouts;
}

bool IsRedirection(long status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool MayRedirect(std::string_view from, std::string_view to) {
  if (StartsWithNoCase(to, "https://")) return true;
  return StartsWithNoCase(to, "http://") && MayEndAt(from, to);
}

bool MayEndAt(std::string_view start, std::string_view final) {
  return !StartsWithNoCase(start, "https://") || StartsWithNoCase(final, "https://");
}

}  // namespace platform
