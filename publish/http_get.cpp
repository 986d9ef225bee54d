#include "publish/http_get.h"

#include <cstdlib>
#include <fstream>

#include "platform/internet.h"
#include "platform/services.h"

namespace vlrpub {

namespace {

// The updater's read size: the answer is read in the same steps as the download's.
constexpr std::uint32_t kChunkSize = 256;

// The two handles of one GET, closed request first.
struct Handles {
  platform::Internet& net;
  platform::InternetHandle session = 0;
  platform::InternetHandle request = 0;
  ~Handles() {
    if (request) net.InternetCloseHandle(request);
    if (session) net.InternetCloseHandle(session);
  }
};

long Status(platform::Internet& net, platform::InternetHandle request) {
  std::uint32_t code = 0, size = sizeof code, index = 0;
  if (!net.HttpQueryInfoA(request, platform::kHttpQueryStatusCode | platform::kHttpQueryFlagNumber,
                          &code, &size, &index))
    return 0;
  return static_cast<long>(code);
}

std::int64_t Announced(platform::Internet& net, platform::InternetHandle request) {
  char text[32] = {};
  std::uint32_t size = sizeof text - 1, index = 0;
  if (!net.HttpQueryInfoA(request, platform::kHttpQueryContentLength, text, &size, &index))
    return -1;
  char* end = nullptr;
  const long long n = std::strtoll(text, &end, 10);
  return end != text && n >= 0 ? n : -1;
}

HttpAnswer Get(const std::string& url, const std::filesystem::path& file,
               const GetProgress& progress) {
  HttpAnswer answer;
  Handles h{platform::Get<platform::Internet>()};
  h.session = h.net.InternetOpenA("", platform::kInternetOpenTypePreconfig, nullptr, nullptr, 0);
  if (h.session) {
    h.request = h.net.InternetOpenUrlA(
        h.session, url.c_str(), "GET", 0,
        platform::kInternetFlagReload | platform::kInternetFlagKeepConnection, 0);
  }
  if (!h.request) {
    answer.error = h.net.LastErrorText();
    if (answer.error.empty()) answer.error = "the server sent no answer";
    return answer;
  }
  answer.answered = true;
  answer.status = Status(h.net, h.request);
  answer.announced = Announced(h.net, h.request);

  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (!out) {
    answer.error = "cannot write a temporary file";
    return answer;
  }
  char buffer[kChunkSize];
  for (;;) {
    std::uint32_t got = 0;
    if (!h.net.InternetReadFile(h.request, buffer, kChunkSize, &got)) {
      answer.error = h.net.LastErrorText();
      if (answer.error.empty()) answer.error = "the connection broke";
      return answer;
    }
    if (got == 0 || got > kChunkSize) break;
    out.write(buffer, got);
    if (!out) {
      answer.error = "cannot write a temporary file";
      return answer;
    }
    answer.received += got;
    if (progress) progress(answer.received, answer.announced);
  }
  out.close();
  if (out.fail()) {
    answer.error = "cannot write a temporary file";
    return answer;
  }
  answer.complete = true;
  return answer;
}

}  // namespace

HttpAnswer HttpGet(const std::string& url, const std::filesystem::path& file,
                   const GetProgress& progress) {
  try {
    return Get(url, file, progress);
  } catch (...) {
    HttpAnswer answer;
    answer.error = "out of memory";
    return answer;
  }
}

}  // namespace vlrpub
