// The run log asked for with "/log:PATH": one block of English UTF-8 lines per run,
// appended to PATH, for administrators and support.
#pragma once

#include <cstdint>
#include <string>

#include "download/download_file.h"

namespace vlr {

// Above this size the log is renamed to PATH + ".old" when a run starts.
inline constexpr std::uintmax_t kRunLogRotateBytes = 1024 * 1024;

class RunLog : public DownloadObserver {
 public:
  // Renames PATH to PATH.old (replacing an older one) when it is over
  // kRunLogRotateBytes, then begins the block with the start time (UTC), the
  // updater's version and whether the build has a package key. When the full log cannot
  // be renamed (PATH.old is a folder, or held open), this run's block is left out: the
  // log never grows past the limit by more than one block. Never throws.
  explicit RunLog(std::wstring path);

  // Adds `text` (UTF-8) and a line end to the block, appending it to PATH (created if
  // needed) at once, so that a run that is killed leaves its lines. Never throws.
  void Line(const std::string& text) noexcept;

  // The line that says how the run ended: "outcome: " and `text`. Never throws.
  void Outcome(const std::string& text) noexcept;

  // Ends the block with the exit code and an empty line. Each line is one write of
  // its own: the block of another copy that ends at once (exit code 5) can fall
  // between two lines of a running copy's block, never inside a line. A line that
  // cannot be written is lost: the log never changes the run. Later calls do nothing.
  // Never throws.
  void Finish(int exitCode) noexcept;

  // One line per request: the address (without a password), status, bytes, time and
  // DownloadFile's result; for a download that broke, one line more per continuation
  // (the byte it asked from, its status and the bytes it brought) and one for how the
  // download ended; a line for a bound that cut the download short or failed it, and
  // for answers slower than the minimum rate. A file of a folder mirror gets
  // "read: PATH -> N bytes, ...", a proxy's 407 one line more, "the proxy asks for
  // credentials (407)".
  void OnDownload(const DownloadReport& report) noexcept override;

 private:
  void Append(const std::string& text) noexcept;
  void BoundLines(const DownloadReport& report) noexcept;

  std::wstring path_;
  bool full_ = false;  // over the limit, and it could not be renamed
  bool finished_ = false;
};

// `address` with the password of a "user:password@" part replaced by "***".
std::string WithoutPassword(const std::string& address);

// Text for the log: UTF-8, its line breaks ("\r\n") written as " / ".
std::string LogText(const std::wstring& text);

}  // namespace vlr
