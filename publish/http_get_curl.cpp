#include <curl/curl.h>

#include <fstream>
#include <memory>

#include "publish/http_get.h"

namespace vlrpub {

namespace {

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};

struct Sink {
  std::ofstream file;
  std::uint64_t received = 0;
  CURL* easy = nullptr;
  const GetProgress* progress = nullptr;
};

std::size_t OnBody(char* data, std::size_t size, std::size_t n, void* user) {
  auto* sink = static_cast<Sink*>(user);
  const std::size_t bytes = size * n;
  sink->file.write(data, static_cast<std::streamsize>(bytes));
  if (!sink->file) return 0;  // curl ends the transfer with a write error
  sink->received += bytes;
  if (*sink->progress) {
    curl_off_t length = -1;
    curl_easy_getinfo(sink->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    (*sink->progress)(sink->received, length);
  }
  return bytes;
}

}  // namespace

HttpAnswer HttpGet(const std::string& url, const std::filesystem::path& file,
                   const GetProgress& progress) {
  HttpAnswer answer;
  std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
  if (!easy) {
    answer.error = "cannot start libcurl";
    return answer;
  }
  Sink sink;
  sink.easy = easy.get();
  sink.progress = &progress;
  sink.file.open(file, std::ios::binary | std::ios::trunc);
  if (!sink.file) {
    answer.error = "cannot write a temporary file";
    return answer;
  }
  char message[CURL_ERROR_SIZE] = {};
  CURL* e = easy.get();
  curl_easy_setopt(e, CURLOPT_URL, url.c_str());
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(e, CURLOPT_MAXREDIRS, 10L);
  // The updater's own limits: a minute to connect, half a minute of silence.
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, 60L);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, 30L);
  curl_easy_setopt(e, CURLOPT_ERRORBUFFER, message);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &OnBody);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, &sink);
  const CURLcode result = curl_easy_perform(e);
  sink.file.close();

  long status = 0;
  curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status);
  curl_off_t length = -1;
  curl_easy_getinfo(e, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  answer.answered = status > 0;
  answer.status = status;
  answer.announced = static_cast<std::int64_t>(length);
  answer.received = sink.received;
  answer.complete = answer.answered && result == CURLE_OK && !sink.file.fail();
  if (result != CURLE_OK) {
    answer.error = message[0] ? message : curl_easy_strerror(result);
  } else if (sink.file.fail()) {
    answer.error = "cannot write a temporary file";
  }
  return answer;
}

}  // namespace vlrpub
