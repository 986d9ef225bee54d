// What a console program asks of the system: whether a stream is a terminal, and a
// handler for the interrupts a console sends (Ctrl-C, Ctrl-Break, closing the console;
// SIGINT, SIGTERM).
#pragma once

#include <atomic>
#include <cstdio>

namespace platform {

// True when `stream` is a terminal, not a file or a pipe.
bool IsTerminal(std::FILE* stream);

// From now on an interrupt sets `noted` the moment it arrives, then calls `act`, which
// must not return, on a thread of its own, where it may do anything. (On Linux a
// signal that was ignored when the program started stays ignored.) Call once, before
// any other thread starts. False when the system refused; interrupts then keep the
// system's default, which ends the process at once.
bool HandleInterrupts(std::atomic<bool>& noted, void (*act)());

}  // namespace platform
