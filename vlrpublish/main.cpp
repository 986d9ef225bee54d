// vlrpublish: the publisher's side of the updater.
#include <cstdio>
#include <exception>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/console_main.h"
#include "vlrpublish/arguments.h"
#include "vlrpublish/interrupt_cleanup.h"

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

}  // namespace

// The commands report their own failures; this catches what nobody foresaw (a name the
// system cannot convert, memory exhaustion) so it ends as a failure, not a crash.
int ConsoleMain(const std::vector<std::string>& args) {
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
