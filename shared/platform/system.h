// Process-level services: the command line, the updater's folder, the
// another-instance check, starting Veloran, ending the process, the temporary folder,
// the time of day, the UTC date, and the clock and pause of a wait.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <string>

namespace platform {

class System {
 public:
  virtual ~System() = default;

  // The raw command-line tail after the program's name and the blanks that follow it,
  // as the system reports it (not the arguments re-joined).
  virtual std::wstring ArgumentText() = 0;

  // The folder that holds the updater's executable, without a final separator.
  virtual std::wstring UpdaterFolder() = 0;

  // True when another updater already works on this updater's folder. The first call
  // that answers false claims the folder for this process until it ends.
  virtual bool AnotherInstanceRunning() = 0;

  // Starts `path` with a normal window that receives the focus, with no arguments,
  // without waiting. On failure returns false and puts the system's description of
  // the error in `errorText`.
  virtual bool StartProgram(const std::wstring& path, std::wstring& errorText) = 0;

  // Ends the updater at once. The real implementation does not return.
  virtual void EndProgram() = 0;

  // GetTempPathA semantics, for a folder of this run's own: made at the first call
  // inside the system's temporary folder, under a name nobody can guess, and never
  // one that exists already. Writes the folder (ending with a separator) and returns
  // its length without the terminating zero; 0 on failure; a number larger than
  // `bufferLength` when the buffer is too small (the buffer then holds no path).
  virtual std::uint32_t GetTempPathA(std::uint32_t bufferLength, char* buffer) = 0;

  // Removes the run's folder with whatever it holds, if one was made; the next
  // GetTempPathA makes a new one. Never throws.
  virtual void RemoveRunFolder() {}

  // Local time of day in seconds since midnight, with fractions.
  virtual double TimeOfDay() = 0;

  // The system clock as whole seconds since 1970-01-01 00:00:00 UTC: what says which
  // UTC day it is.
  virtual std::int64_t UtcSeconds() { return static_cast<std::int64_t>(std::time(nullptr)); }

  // Seconds on a clock that never goes back (not the time of day), for timing waits.
  virtual double SteadySeconds() {
    using Seconds = std::chrono::duration<double>;
    return std::chrono::duration_cast<Seconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }

  // Waits `milliseconds`, or less when input arrives for this thread's windows, so
  // that a click made during a wait is handled at once.
  virtual void Pause(std::uint32_t milliseconds) = 0;
};

}  // namespace platform
