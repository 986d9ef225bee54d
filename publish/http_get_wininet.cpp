#include <windows.h>
#include <wininet.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <vector>

#include "publish/http_get.h"

namespace vlrpub {

namespace {

struct InternetDeleter {
  void operator()(void* handle) const { ::InternetCloseHandle(static_cast<HINTERNET>(handle)); }
};
using Internet = std::unique_ptr<void, InternetDeleter>;

std::string SystemMessage(DWORD code) {
  char text[512] = {};
  const DWORD n = FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
      GetModuleHandleA("wininet.dll"), code, 0, text, sizeof text, nullptr);
  std::string s(text, n);
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  return s.empty() ? "error " + std::to_string(code) : s + " (" + std::to_string(code) + ")";
}

}  // namespace

HttpAnswer HttpGet(const std::string& url, const std::filesystem::path& file,
                   const GetProgress& progress) {
  HttpAnswer answer;
  Internet session(::InternetOpenA("", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!session) {
    answer.error = SystemMessage(GetLastError());
    return answer;
  }
  // The updater's own limits: a minute to connect, half a minute of silence.
  DWORD connectMs = 60000, receiveMs = 30000;
  InternetSetOptionA(session.get(), INTERNET_OPTION_CONNECT_TIMEOUT, &connectMs, sizeof connectMs);
  InternetSetOptionA(session.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &receiveMs, sizeof receiveMs);
  InternetSetOptionA(session.get(), INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, &receiveMs,
                     sizeof receiveMs);
  Internet request(::InternetOpenUrlA(session.get(), url.c_str(), nullptr, 0,
                                      INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0));
  if (!request) {
    answer.error = SystemMessage(GetLastError());
    return answer;
  }
  DWORD code = 0, size = sizeof code, index = 0;
  if (HttpQueryInfoA(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code, &size,
                     &index) &&
      code >= 100) {
    answer.answered = true;
    answer.status = static_cast<long>(code);
  } else {
    answer.error = "the server sent no answer";
    return answer;
  }
  char length[32] = {};
  size = sizeof length - 1;
  index = 0;
  if (HttpQueryInfoA(request.get(), HTTP_QUERY_CONTENT_LENGTH, length, &size, &index)) {
    char* end = nullptr;
    const long long n = std::strtoll(length, &end, 10);
    if (end != length && n >= 0) answer.announced = n;
  }

  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (!out) {
    answer.error = "cannot write a temporary file";
    return answer;
  }
  std::vector<char> buffer(64 * 1024);
  while (true) {
    DWORD got = 0;
    if (!::InternetReadFile(request.get(), buffer.data(), static_cast<DWORD>(buffer.size()),
                            &got)) {
      answer.error = SystemMessage(GetLastError());
      return answer;
    }
    if (got == 0) break;
    out.write(buffer.data(), got);
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
  // wininet ends a body cut short of its announced length as if it were complete.
  if (answer.announced >= 0 && answer.received < static_cast<std::uint64_t>(answer.announced)) {
    answer.error = "the connection closed before the end of the body";
    return answer;
  }
  answer.complete = true;
  return answer;
}

}  // namespace vlrpub
