// Times one DownloadFile call and reports the process's peak memory.
//   download_bench SITE REMOTE LOCAL
// prints: result=R bytes=N seconds=S mib_per_s=T peak_rss_kib=K
#ifdef _WIN32
#include <windows.h>
#include <psapi.h>
#else
#include <sys/resource.h>
#endif

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "download/download_file.h"
#include "download/download_state.h"
#include "platform/controls.h"
#include "platform/text.h"

namespace {

long PeakRssKib() {
#ifdef _WIN32
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return -1;
  return static_cast<long>(counters.PeakWorkingSetSize / 1024);
#else
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;  // KiB on Linux
#endif
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: download_bench SITE REMOTE LOCAL\n");
    return 2;
  }
  // The progress goes to a label as in the wizard, so its cost is measured too.
  platform::Control label(platform::ControlKind::Label, "Label1", nullptr, {}, 0);
  vlr::SetProgressLabel(&label);
  vlr::SiteAddress = platform::FromAnsi(argv[1]);
  std::wstring local = platform::FromAnsi(argv[3]);

  auto start = std::chrono::steady_clock::now();
  std::int16_t result = vlr::DownloadFile(platform::FromAnsi(argv[2]), local);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  std::error_code ec;
  auto bytes = std::filesystem::file_size(platform::ToPath(local), ec);
  if (ec) bytes = 0;
  std::printf("result=%d bytes=%llu seconds=%.3f mib_per_s=%.1f peak_rss_kib=%ld\n", result,
              static_cast<unsigned long long>(bytes), seconds,
              seconds > 0 ? bytes / 1048576.0 / seconds : 0.0, PeakRssKib());
  vlr::SetProgressLabel(nullptr);
  return result == 1 ? 0 : 1;
}
