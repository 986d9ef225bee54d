// vlrpublish: the publisher's side of the updater.
#include <cstdio>
#include <exception>
#include <string>
#include <type_traits>
#include <vector>

#include "vlrpublish/arguments.h"
#include "vlrpublish/interrupt_cleanup.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/text.h"
#endif

namespace {

int Dispatch(const std::vector<std::string>& args) {
  using namespace vlrpub;
  const Command command = ParseCommandLine(args);
  return std::visit(
      [](const auto& c) -> int {
        using T = std::decay_t<decltype(c)>;
        if constexpr (std::is_same_v<T, HelpRequest>) {
          std::fputs(HelpText(), stdout);
          return 0;
        } else if constexpr (std::is_same_v<T, VersionRequest>) {
          std::fputs(VersionText(), stdout);
          return 0;
        } else if constexpr (std::is_same_v<T, UsageError>) {
          std::fprintf(stderr, "vlrpublish: %s (see vlrpublish --help)\n", c.message.c_str());
          return kUsageError;
        } else if constexpr (std::is_same_v<T, MakeRequest>) {
          return MakeMirror(c, stdout, stderr);
        } else if constexpr (std::is_same_v<T, SignRequest>) {
          return SignMirror(c, stdout, stderr);
        } else {
          return CheckMirror(c, stdout);
        }
      },
      command);
}

// The commands report their own failures; this catches what nobody foresaw (a name the
// system cannot convert, memory exhaustion) so it ends as a failure, not a crash.
int Run(const std::vector<std::string>& args) {
  // Before anything is written, and before any other thread starts.
  if (!vlrpub::InstallInterruptCleanup()) {
    std::fprintf(stderr, "vlrpublish: warning: an interrupt will not remove the temporary "
                         "folders\n");
  }
  try {
    return Dispatch(args);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vlrpublish: unexpected failure: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "vlrpublish: unexpected failure\n");
  }
  return 4;
}

#ifdef _WIN32
// Messages are UTF-8; the console shows them as such while vlrpublish runs.
class Utf8Console {
 public:
  Utf8Console() : previous_(GetConsoleOutputCP()) { SetConsoleOutputCP(CP_UTF8); }
  ~Utf8Console() {
    if (previous_) SetConsoleOutputCP(previous_);
  }
  Utf8Console(const Utf8Console&) = delete;
  Utf8Console& operator=(const Utf8Console&) = delete;

 private:
  UINT previous_;
};
#endif

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  Utf8Console console;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(platform::ToUtf8(argv[i]));
  return Run(args);
}
#else
int main(int argc, char** argv) { return Run(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
