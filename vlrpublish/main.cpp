// vlrpublish: the publisher's side of the updater.
#include <cstdio>
#include <exception>
#include <string>
#include <variant>
#include <vector>

#include "platform/console_main.h"
#include "vlrpublish/arguments.h"
#include "vlrpublish/interrupt_cleanup.h"

namespace {

int Dispatch(const std::vector<std::string>& args) {
  using namespace vlrpub;
  const Command command = ParseCommandLine(args);
  if (auto* make = std::get_if<MakeRequest>(&command)) return MakeMirror(*make, stdout, stderr);
  if (auto* sign = std::get_if<SignRequest>(&command)) return SignMirror(*sign, stdout, stderr);
  if (auto* check = std::get_if<CheckRequest>(&command)) return CheckMirror(*check, stdout);
  if (auto* usage = std::get_if<UsageError>(&command)) {
    std::fprintf(stderr, "vlrpublish: %s (see vlrpublish --help)\n", usage->message.c_str());
    return kUsageError;
  }
  std::fputs(std::holds_alternative<HelpRequest>(command) ? HelpText() : VersionText(), stdout);
  return 0;
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
