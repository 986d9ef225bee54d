// What an interrupt (Ctrl-C, Ctrl-Break, SIGINT, SIGTERM) leaves behind: nothing of
// ours. The folders vlrpublish works in are listed here while they exist; an interrupt
// removes every listed folder and ends the process with kInterrupted. Steps that must
// not be cut in two (the swap of a mirror) run while an InterruptDeferred is alive.
#pragma once

#include <filesystem>

namespace vlrpub {

inline constexpr int kInterrupted = 130;

// Makes interrupts end the process as above (until then they end it at once, the
// system's default). Call once, before any other thread starts. False when the system
// refused; interrupts then keep the default.
bool InstallInterruptCleanup();

// Lists `folder` for removal on an interrupt until the returned id is passed to Forget.
// Throws only when memory is exhausted.
unsigned RemoveOnInterrupt(const std::filesystem::path& folder);
void Forget(unsigned id);

// While one is alive an interrupt waits: it is acted on when the last one ends.
class InterruptDeferred {
 public:
  InterruptDeferred();
  ~InterruptDeferred();
  InterruptDeferred(const InterruptDeferred&) = delete;
  InterruptDeferred& operator=(const InterruptDeferred&) = delete;
};

}  // namespace vlrpub
