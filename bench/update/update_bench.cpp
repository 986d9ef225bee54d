// Times one update run of the real wizard (Form1 on the headless window system, the
// real internet layer and extraction library) and reports the process's peak memory.
//   update_bench FOLDER SITE
// FOLDER is the Veloran folder (holding libunzip32.so), SITE the mirror address.
// prints: message="..." seconds=S peak_rss_kib=K; exit status 0 when the update succeeded.
//   update_bench --start FOLDER
// only starts the wizard (which completes an extraction cut short), asks no mirror and
// ends: the power-cut test's next start.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "platform/headless/headless_window_system.h"
#include "platform/services.h"
#include "platform/system.h"
#include "platform/text.h"
#include "wizard/form1.h"

namespace {

// The real system, except for what makes the bench's folder the updater's folder and
// keeps Veloran from being started.
class BenchSystem final : public platform::System {
 public:
  BenchSystem(std::wstring folder, std::wstring arguments)
      : folder_(std::move(folder)), arguments_(std::move(arguments)) {}
  std::wstring ArgumentText() override { return arguments_; }
  std::wstring UpdaterFolder() override { return folder_; }
  bool AnotherInstanceRunning() override { return false; }
  bool StartProgram(const std::wstring&, std::wstring&) override { return true; }
  void EndProgram() override {}
  std::uint32_t GetTempPathA(std::uint32_t length, char* buffer) override {
    return real_.GetTempPathA(length, buffer);
  }
  double TimeOfDay() override { return real_.TimeOfDay(); }
  std::int64_t UtcSeconds() override { return real_.UtcSeconds(); }
  double SteadySeconds() override { return real_.SteadySeconds(); }
  void Pause(std::uint32_t milliseconds) override { real_.Pause(milliseconds); }
  void RemoveRunFolder() override { real_.RemoveRunFolder(); }

 private:
  platform::System& real_ = platform::DefaultService<platform::System>();
  std::wstring folder_, arguments_;
};

long PeakRssKib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;  // KiB on Linux
}

}  // namespace

int main(int argc, char** argv) {
  const bool startOnly = argc == 3 && std::string(argv[1]) == "--start";
  if (argc != 3) {
    std::fprintf(stderr, "usage: update_bench FOLDER SITE | --start FOLDER\n");
    return 2;
  }
  BenchSystem system(platform::FromAnsi(argv[startOnly ? 2 : 1]),
                     L"E " + platform::FromAnsi(startOnly ? "127.0.0.1/" : argv[2]));
  platform::HeadlessWindowSystem windows;
  platform::Use<platform::System> useSystem(system);
  platform::Use<platform::WindowSystem> useWindows(windows);

  vlr::Form1 form;
  windows.Create(form);
  form.Form_Load();
  if (startOnly) return 0;
  windows.Show();
  windows.Click(form.Command2);  // step 1
  auto start = std::chrono::steady_clock::now();
  windows.Click(form.Command2);  // step 2: the update run
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  std::string message = platform::ToUtf8(form.Label1.Caption());
  for (auto& c : message) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  std::printf("message=\"%s\" seconds=%.3f peak_rss_kib=%ld\n", message.c_str(), seconds,
              PeakRssKib());
  return message.rfind("Update succeeded!", 0) == 0 ? 0 : 1;
}
