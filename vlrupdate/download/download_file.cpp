#include "download/download_file.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <random>
#include <string>

#include "download/download_limits.h"
#include "download/download_state.h"
#include "download/download_wait.h"
#include "download/local_files.h"
#include "download/progress_message.h"
#include "download/proxy_sign_in.h"
#include "download/site_address.h"
#include "mirror/folder_address.h"
#include "mirror/mirror_rules.h"
#include "platform/controls.h"
#include "platform/folder_source.h"
#include "download/http_resume.h"
#include "platform/internet.h"
#include "platform/services.h"
#include "skip_on_error.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/unique_handle.h"
#include "platform/window_system.h"

namespace vlr {

namespace {

platform::Control* progressLabel = nullptr;
DownloadObserver* downloadObserver = nullptr;

// True when the final answer on `url` is not the file asked for: any status but 200
// (an error page, a part of the file, a redirection that was not followed). An answer
// whose status cannot be read is taken as it comes.
// `status` receives the status read (left as it was when none could be read).
bool NotTheFile(platform::Internet& internet, platform::InternetHandle url,
                std::uint32_t& status) {
  const std::optional<std::uint32_t> answered = platform::AnswerStatus(internet, url);
  if (answered) status = *answered;
  return answered && *answered != 200;
}

// Where the transfer reads from: the session, the address and the URL handle of the
// answer being read, which a continuation replaces.
struct Connection {
  platform::Internet& internet;
  platform::InternetHandle session;
  const std::string& address;
  platform::UniqueInternetHandle& url;
};

// What a break leads to, once handled.
enum class AfterBreak {
  kRead,  // an answer to read on: the rest of the file, or all of it again
  kEnd,   // the file ends here: the loop ends as at the end of the data or a stop request
  kDrop,  // the download fails: the file is deleted
  kQuit,  // the file could not be made again: the transfer ends with nothing to close
};

// The body of the download: the file, what was written and what is known of the file
// that the server sent.
class Transfer {
 public:
  Transfer(Connection& connection, const std::wstring& remoteName,
           const std::wstring& localPath, std::unique_ptr<platform::PlainFile>& file,
           std::int16_t& result, DownloadReport& report, OnBreak onBreak,
           const DownloadLimits& limits)
      : c_(connection), remoteName_(remoteName), localPath_(localPath), file_(file),
        result_(result), report_(report), continuing_(onBreak == OnBreak::kContinue),
        limits_(limits), rate_(limits) {}

  // Replaces the local file with the body read from the URL handle. Any exception
  // leaving here is a failure that ends the transfer with the file kept as written;
  // the file stays with the caller so that it is closed on the way out.
  void Run();

 private:
  // What became of the bytes of one read.
  enum class Kept {
    kGoOn,  // written; read on
    kEnd,   // the announced length is reached and the answer went past it: it ends here
    kQuit,  // the transfer ends now (a failure; Fail has run where the file must go)
  };
  Kept Keep(const char* buffer, std::uint32_t count);
  bool TooLarge();
  AfterBreak Break();
  AfterBreak Continue();
  // After a 407: true once the proxy passed the request (download/proxy_sign_in.h).
  bool SignedInToProxy() {
    if (report_.status != kProxyAuthenticationRequired) return false;
    report_.status = SignInToProxy(c_.internet, c_.session, c_.address, c_.url, report_.status);
    return c_.url && report_.status == 200;
  }
  void Drop();
  void Fail(DownloadBound bound = DownloadBound::kNone);

  Connection& c_;
  const std::wstring& remoteName_;
  const std::wstring& localPath_;
  std::unique_ptr<platform::PlainFile>& file_;
  std::int16_t& result_;
  DownloadReport& report_;
  const bool continuing_;
  const DownloadLimits& limits_;
  RateWatch rate_;
  LocalFiles& files_ = platform::Get<LocalFiles>();
  platform::System& system_ = platform::Get<platform::System>();
  bool signature_ = false;
  double lastProgress_ = 0.0;
  std::int32_t total_ = 0;
  platform::FileIdentity identity_;  // of the answer that the file's bytes come from
};

void Transfer::Drop() {
  file_->Close();
  file_.reset();
  files_.Delete(localPath_);
}

// A failed download: no file, and nothing fetched. A download that had broken ends
// with the bound's reason.
void Transfer::Fail(DownloadBound bound) {
  if (file_) Drop();
  result_ = 0;
  if (bound == DownloadBound::kNone) return;
  report_.bound = bound;
  if (report_.outcome != BreakOutcome::kNone)
    report_.outcome = bound == DownloadBound::kDeadline ? BreakOutcome::kDeadline
                                                        : BreakOutcome::kRefused;
}

// True, with the report told, when the answer being read announces more than a
// package may hold: nothing of it is read.
bool Transfer::TooLarge() {
  if (identity_.length < 0 || static_cast<std::uint64_t>(identity_.length) <= kMaxPackageBytes)
    return false;
  report_.announced = identity_.length;
  return true;
}

Transfer::Kept Transfer::Keep(const char* buffer, std::uint32_t count) {
  // A platform that reports more than it was asked for has not filled the buffer
  // with it: that is a failed transfer step, not data.
  if (count > platform::kReadChunkBytes) return Kept::kQuit;
  // Bytes past the announced length belong to no file we asked for.
  std::uint32_t keep = count;
  const bool past = identity_.length >= 0 && total_ + static_cast<std::int64_t>(count) > identity_.length;
  if (past) keep = static_cast<std::uint32_t>(std::max<std::int64_t>(0, identity_.length - total_));
  if (static_cast<std::uint64_t>(total_) + keep > kMaxPackageBytes) {
    Fail(DownloadBound::kPastLimit);
    return Kept::kQuit;
  }
  const std::int32_t bytesRead = static_cast<std::int32_t>(keep);
  total_ += bytesRead;
  std::int32_t& answerBytes =
      report_.continuations.empty() ? report_.bytes : report_.continuations.back().bytes;
  answerBytes += bytesRead;
  if (signature_ && static_cast<std::uint32_t>(total_) > kMaxSignatureBytes) {
    // No signature is that large: the answer is not one, and stops here.
    Fail();
    return Kept::kQuit;
  }
  if (keep > 0) {
    if (!file_->Write(buffer, keep)) return Kept::kQuit;
    result_ = 1;
    if (std::fabs(system_.TimeOfDay() - lastProgress_) > 1.0) {
      lastProgress_ = system_.TimeOfDay();
      if (progressLabel) progressLabel->SetCaption(ProgressMessage(remoteName_, total_));
    }
  }
  if (!past) return Kept::kGoOn;
  report_.bound = DownloadBound::kOverrun;
  report_.announced = identity_.length;
  return Kept::kEnd;
}

void Transfer::Run() {
  files_.Delete(localPath_);
  // Nothing of another answer is written, and the call ends as after a failed read.
  if (NotTheFile(c_.internet, c_.url.get(), report_.status) && !SignedInToProxy()) return;
  identity_ = platform::AnswerIdentity(c_.internet, c_.url.get());
  if (TooLarge()) return Fail(DownloadBound::kTooLarge);
  file_ = files_.Create(localPath_);
  if (!file_) return;

  platform::WindowSystem& windows = platform::Get<platform::WindowSystem>();
  char buffer[platform::kReadChunkBytes];
  signature_ = IsSignatureName(platform::ToUtf8(remoteName_));
  rate_.Begin(system_.SteadySeconds(), 0);
  bool more = true;

  while (more && DownloadState == 1) {
    if (PastDeadline(limits_, system_.SteadySeconds())) return Fail(DownloadBound::kDeadline);
    std::uint32_t count = 0;
    bool broke = !c_.internet.InternetReadFile(c_.url.get(), buffer, platform::kReadChunkBytes,
                                               &count);
    const bool ended = !broke && (count == 0 || count > std::numeric_limits<std::int32_t>::max());
    // A body that ends before its announced length is a break too, wherever the
    // platform did not fail the read for it.
    if (ended && continuing_ && identity_.length > total_) broke = true;
    if (!broke && !ended) {
      const Kept kept = Keep(buffer, count);
      if (kept == Kept::kQuit) return;
      if (kept == Kept::kEnd) {
        more = false;
      } else if (rate_.TooSlow(system_.SteadySeconds(), total_)) {
        // A mirror that drips keeps the connection alive for ever: broken.
        ++report_.slowAnswers;
        broke = true;
      }
    }
    if (broke) {
      // Without continuations, a broken transfer leaves no file behind: a partial
      // body must not pass for a complete one.
      const AfterBreak next = continuing_ ? Break() : AfterBreak::kDrop;
      if (next == AfterBreak::kDrop) return Fail();
      if (next == AfterBreak::kQuit) return;
      if (next == AfterBreak::kEnd) more = false;
      continue;  // the wait let the events run
    }
    if (ended) more = false;
    windows.PumpEvents();
  }

  // A close that fails leaves what reached the disk; a stop request deletes the file
  // even when the body was already complete.
  file_->Close();
  file_.reset();
  if (DownloadState == 2) {
    files_.Delete(localPath_);
    if (report_.outcome != BreakOutcome::kNone) report_.outcome = BreakOutcome::kStopped;
  } else if (report_.outcome == BreakOutcome::kFailed) {
    report_.outcome = BreakOutcome::kComplete;
  }
}

// The connection broke with total_ bytes written.
AfterBreak Transfer::Break() {
  report_.outcome = BreakOutcome::kFailed;  // until the file ends or the download stops
  // Every byte announced is here: the file is whole (its digest will tell), and a
  // request for the bytes after its end could only be refused.
  if (identity_.length >= 0 && total_ == identity_.length) return AfterBreak::kEnd;
  return Continue();
}

// Asks for the rest of the file, or for all of it, until an answer can be read on.
AfterBreak Transfer::Continue() {
  std::minstd_rand random(static_cast<std::uint32_t>(
      std::chrono::steady_clock::now().time_since_epoch().count()));
  std::uniform_real_distribution<double> spread(0.0, 1.0);
  while (report_.continuations.size() < static_cast<std::size_t>(kMaxContinuations)) {
    c_.url.reset();  // the broken answer's connection goes before the wait
    const int index = static_cast<int>(report_.continuations.size());
    const double wait = ContinuationWait(index, spread(random));
    // A continuation that could only begin after the deadline is not waited for.
    if (PastDeadline(limits_, system_.SteadySeconds() + wait)) {
      report_.bound = DownloadBound::kDeadline;
      report_.outcome = BreakOutcome::kDeadline;
      return AfterBreak::kDrop;
    }
    if (!WaitLettingEventsRun(wait)) return AfterBreak::kEnd;
    const std::string headers = platform::ContinuationHeaders(identity_, total_);
    report_.continuations.push_back({total_, 0, 0});
    // Without a validator the file is asked for whole, as the first time.
    c_.url = platform::UniqueInternetHandle(
        c_.internet.InternetOpenUrlA(
            c_.session, c_.address.c_str(), headers.empty() ? "GET" : headers.c_str(),
            static_cast<std::uint32_t>(headers.size()), platform::kOpenUrlFlags, 0),
        {&c_.internet});
    if (!c_.url) continue;  // not sent, or no answer: another break
    const std::optional<std::uint32_t> status = platform::AnswerStatus(c_.internet, c_.url.get());
    if (status) report_.continuations.back().status = *status;
    switch (platform::JudgeContinuation(
        !headers.empty(), status,
        platform::AnswerHeader(c_.internet, c_.url.get(), platform::kHttpQueryContentRange),
        platform::AnswerHeader(c_.internet, c_.url.get(), platform::kHttpQueryEtag), total_,
        identity_)) {
      case platform::ContinuationVerdict::kAppend:
        rate_.Begin(system_.SteadySeconds(), total_);
        return AfterBreak::kRead;
      case platform::ContinuationVerdict::kRestart:
        // Another file, or one the server cannot prove the same: its bytes only.
        identity_ = platform::AnswerIdentity(c_.internet, c_.url.get());
        if (TooLarge()) {
          report_.bound = DownloadBound::kTooLarge;
          report_.outcome = BreakOutcome::kRefused;
          return AfterBreak::kDrop;
        }
        Drop();
        total_ = 0;
        file_ = files_.Create(localPath_);
        rate_.Begin(system_.SteadySeconds(), 0);
        return file_ ? AfterBreak::kRead : AfterBreak::kQuit;
      case platform::ContinuationVerdict::kRefuse:
        report_.outcome = BreakOutcome::kRefused;
        return AfterBreak::kDrop;
    }
  }
  report_.outcome = BreakOutcome::kGaveUp;
  return AfterBreak::kDrop;
}

}  // namespace

void SetProgressLabel(platform::Control* label) noexcept { progressLabel = label; }

void SetDownloadObserver(DownloadObserver* observer) noexcept { downloadObserver = observer; }

void ReleaseDownloadObserver(const DownloadObserver* observer) noexcept {
  if (downloadObserver == observer) downloadObserver = nullptr;
}

void ReleaseProgressLabel(const platform::Control* label) noexcept {
  if (progressLabel == label) progressLabel = nullptr;
}

std::int16_t DownloadFile(const std::wstring& remoteNameArgument,
                          const std::wstring& localPathArgument, OnBreak onBreak,
                          const DownloadLimits& limits) {
  DownloadState = 1;
  std::int16_t result = 0;
  const auto started = std::chrono::steady_clock::now();
  DownloadReport report;
  {
    // Own copies: the caller's texts may be SiteAddress itself, which the
    // normalisation rewrites, or change while window events run.
    std::wstring RemoteName, LocalPath;
    if (!SkipOnError([&] {
          RemoteName = remoteNameArgument;
          LocalPath = localPathArgument;
        })) {
      DownloadState = 0;
      return 0;
    }
    platform::Internet* internet = nullptr;
    std::string address;
    // Closed however the call ends, the URL handle first.
    platform::UniqueInternetHandle session, url;
    std::unique_ptr<platform::PlainFile> file;

    SkipOnError([&] {
      // A folder mirror is read from the file system, in the same reads.
      internet = IsFolderAddress(SiteAddress) ? &platform::Get<platform::FolderSource>()
                                              : &platform::Get<platform::Internet>();
      session = platform::UniqueInternetHandle(
          internet->InternetOpenA("", platform::kInternetOpenTypePreconfig, nullptr, nullptr, 0),
          {internet});
      ApplyProxyCredentials(*internet, session.get());
    });
    NormaliseSiteAddress();
    if (downloadObserver) SkipOnError([&] { report.url = SiteAddress + RemoteName; });
    // Past the deadline no request is sent: a failed connection, the older file kept.
    bool late = false;
    SkipOnError([&] { late = PastDeadline(limits, platform::Get<platform::System>().SteadySeconds()); });
    if (late) report.bound = DownloadBound::kDeadline;
    if (session && !late) {
      SkipOnError([&] {
        address = platform::ToAnsi(SiteAddress + RemoteName);
        // "GET" with a length of 0: a header text of zero length, so a plain GET.
        url = platform::UniqueInternetHandle(
            internet->InternetOpenUrlA(session.get(), address.c_str(), "GET", 0,
                                       platform::kOpenUrlFlags, 0),
            {internet});
      });
    }
    if (url) {
      SkipOnError([&] {
        Connection connection{*internet, session.get(), address, url};
        Transfer(connection, RemoteName, LocalPath, file, result, report, onBreak, limits).Run();
      });
    }

    // Common exit: the file first, then the URL handle, then the internet handle.
    if (file) SkipOnError([&] { file->Close(); });
    file.reset();
  }
  DownloadState = 0;
  if (downloadObserver) {
    report.result = result;
    report.milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now() - started)
                              .count();
    downloadObserver->OnDownload(report);
  }
  return result;
}

}  // namespace vlr
