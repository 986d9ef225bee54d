#include "vlrpublish/http_get.h"

#include <cstdlib>
#include <fstream>

#include "mirror/folder_address.h"
#include "platform/folder_source.h"
#include "platform/internet.h"
#include "platform/services.h"
#include "platform/text.h"

namespace vlrpub {

namespace {

std::int64_t Announced(platform::Internet& net, platform::InternetHandle request) {
  char text[32] = {};
  std::uint32_t size = sizeof text - 1, index = 0;
  if (!net.HttpQueryInfoA(request, platform::kHttpQueryContentLength, text, &size, &index))
    return -1;
  char* end = nullptr;
  const long long n = std::strtoll(text, &end, 10);
  return end != text && n >= 0 ? n : -1;
}

// The internet layer's reason for its last failure, or `otherwise` when it gives none.
std::string LastError(platform::Internet& net, const char* otherwise) {
  const std::string text = net.LastErrorText();
  return text.empty() ? otherwise : text;
}

HttpAnswer Get(const std::string& url, const std::filesystem::path& file,
               const GetProgress& progress) {
  HttpAnswer answer;
  // A folder mirror is read as the updater reads it.
  platform::Internet& net = vlr::IsFolderAddress(platform::FromAnsi(url))
                                ? platform::Get<platform::FolderSource>()
                                : platform::Get<platform::Internet>();
  // Opened as the download opens them; closed however this ends, the request first.
  platform::UniqueInternetHandle session(
      net.InternetOpenA("", platform::kInternetOpenTypePreconfig, nullptr, nullptr, 0), {&net});
  platform::UniqueInternetHandle request;
  if (session) {
    request = platform::UniqueInternetHandle(
        net.InternetOpenUrlA(session.get(), url.c_str(), "GET", 0, platform::kOpenUrlFlags, 0),
        {&net});
  }
  if (!request) {
    answer.error = LastError(net, "the server sent no answer");
    return answer;
  }
  answer.answered = true;
  answer.status = static_cast<long>(platform::AnswerStatus(net, request.get()).value_or(0));
  answer.announced = Announced(net, request.get());

  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  char buffer[platform::kReadChunkBytes];
  while (out) {
    std::uint32_t got = 0;
    if (!net.InternetReadFile(request.get(), buffer, platform::kReadChunkBytes, &got)) {
      answer.error = LastError(net, "the connection broke");
      return answer;
    }
    if (got == 0 || got > platform::kReadChunkBytes) break;
    if (!out.write(buffer, got)) break;
    answer.received += got;
    if (progress) progress(answer.received, answer.announced);
  }
  out.close();  // fails too when the file could not be made or written
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
