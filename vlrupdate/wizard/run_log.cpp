#include "wizard/run_log.h"

#include <ctime>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "mirror/folder_address.h"
#include "mirror/mirror_rules.h"
#include "platform/file_replacement.h"
#include "platform/text.h"
#include "signature/package_key.h"
#include "vlrupdate_version.h"

namespace vlr {

namespace {

std::string UtcNow() {
  const std::time_t now = std::time(nullptr);
  const std::tm* utc = std::gmtime(&now);  // one thread: the static result is ours
  char text[32] = "unknown time";
  if (utc) std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", utc);
  return text;
}

}  // namespace

std::string WithoutPassword(const std::string& address) {
  const std::size_t scheme = address.find("://");
  const std::size_t start = scheme == std::string::npos ? 0 : scheme + 3;
  const std::size_t end = address.find('/', start);
  const std::size_t at = address.rfind('@', end == std::string::npos ? address.size() : end);
  if (at == std::string::npos || at < start) return address;
  const std::size_t colon = address.find(':', start);
  if (colon == std::string::npos || colon > at) return address;
  return address.substr(0, colon + 1) + "***" + address.substr(at);
}

std::string LogText(const std::wstring& text) {
  std::string out = platform::ToUtf8(text);
  for (std::size_t p; (p = out.find("\r\n")) != std::string::npos;) out.replace(p, 2, " / ");
  return out;
}

RunLog::RunLog(std::wstring path) : path_(std::move(path)) {
  try {
    const std::filesystem::path file = platform::ToPath(path_);
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(file, ec);
    if (!ec && size > kRunLogRotateBytes) {
      std::filesystem::path old = file;
      old += ".old";
      full_ = !platform::MoveIntoPlace(file, old);
    }
  } catch (...) {
    full_ = true;  // whether it could be rotated is unknown: it is left as it is
  }
  try {
    Line("== vlrupdate run, started " + UtcNow());
    Line(std::string("updater version: ") + VLR_VERSION);
    const std::size_t keys = PackageKeys().size();
    Line(keys == 0   ? std::string("package key: none")
         : keys == 1 ? std::string("package key: built in")
                     : "package keys: " + std::to_string(keys) + " built in");
  } catch (...) {
    // Out of memory: the block starts without its heading.
  }
}

void RunLog::Line(const std::string& text) noexcept {
  if (finished_) return;
  try {
    Append(text + "\r\n");
  } catch (...) {
    // A line that does not fit in memory is left out.
  }
}

// Each line reaches the file as it is made, in one write: a run that is killed, or
// never ends, leaves the lines it got to.
void RunLog::Append(const std::string& text) noexcept {
  if (full_) return;
  try {
    std::ofstream out(platform::ToPath(path_), std::ios::binary | std::ios::app);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
  } catch (...) {
    // An unwritable log is no failure of the run.
  }
}

void RunLog::Outcome(const std::string& text) noexcept {
  try {
    Line("outcome: " + text);
  } catch (...) {
    // Out of memory: the block ends without it.
  }
}

void RunLog::Finish(int exitCode) noexcept {
  if (finished_) return;
  finished_ = true;
  try {
    Append("exit code: " + std::to_string(exitCode) + "\r\n\r\n");
  } catch (...) {
    // Out of memory: the block ends without it.
  }
}

namespace {

std::string StatusText(std::uint32_t status) {
  return status ? std::to_string(status) : "unknown";
}

const char* OutcomeText(BreakOutcome outcome) {
  switch (outcome) {
    case BreakOutcome::kComplete:
      return "complete";
    case BreakOutcome::kStopped:
      return "stopped";
    case BreakOutcome::kRefused:
      return "failed, the answer does not continue the file";
    case BreakOutcome::kGaveUp:
      return "failed, still broken after the last continuation";
    case BreakOutcome::kDeadline:
      return "failed, the run's deadline passed";
    case BreakOutcome::kFailed:
    case BreakOutcome::kNone:
      break;
  }
  return "failed, the file could not be written";
}

}  // namespace

void RunLog::BoundLines(const DownloadReport& report) noexcept {
  try {
    if (report.slowAnswers > 0)
      Line("below the minimum rate: " + std::to_string(report.slowAnswers) +
           (report.slowAnswers == 1 ? " answer" : " answers") + ", each taken as a break");
    switch (report.bound) {
      case DownloadBound::kTooLarge:
        Line("download refused: " + std::to_string(report.announced) +
             " bytes announced, above the limit of " + std::to_string(kMaxPackageBytes));
        break;
      case DownloadBound::kPastLimit:
        Line("download refused: more than " + std::to_string(kMaxPackageBytes) + " bytes arrived");
        break;
      case DownloadBound::kOverrun:
        Line("download stopped at the announced length of " + std::to_string(report.announced) +
             " bytes: the answer went on");
        break;
      case DownloadBound::kDeadline:
        Line("download stopped: the run's deadline passed");
        break;
      case DownloadBound::kNone:
        break;
    }
  } catch (...) {
  }
}

void RunLog::OnDownload(const DownloadReport& report) noexcept {
  try {
    if (IsFolderAddress(report.url)) {
      // A file of a folder mirror: its path and what was read of it.
      Line("read: " + platform::ToUtf8(report.url) + " -> " +
           (report.status ? std::to_string(report.bytes) + " bytes"
                          : std::string("missing or not readable")) +
           ", " + std::to_string(report.milliseconds) + " ms, result " +
           std::to_string(report.result));
    } else {
      Line("request: " + WithoutPassword(platform::ToUtf8(report.url)) + " -> status " +
           StatusText(report.status) + ", " + std::to_string(report.bytes) + " bytes, " +
           std::to_string(report.milliseconds) + " ms, result " +
           std::to_string(report.result));
    }
    if (report.status == 407) Line("the proxy asks for credentials (407)");
    if (report.outcome != BreakOutcome::kNone) {
      for (const ContinuationReport& c : report.continuations) {
        Line("continuation from byte " + std::to_string(c.offset) + " -> status " +
             StatusText(c.status) + ", " + std::to_string(c.bytes) + " bytes");
      }
    }
    BoundLines(report);
    if (report.outcome != BreakOutcome::kNone)
      Line(std::string("broken download: ") + OutcomeText(report.outcome));
  } catch (...) {
  }
}

}  // namespace vlr
