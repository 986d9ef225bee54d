// Fetching one file from the chosen mirror over HTTP into a local file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "download/download_limits.h"

namespace platform {
class Control;
}

namespace vlr {

// What a download does when its connection breaks after the first answer (a read
// fails, the body ends before its announced length, a continuation cannot be sent).
enum class OnBreak {
  kFail,      // the file is deleted and the call ends
  // Up to kMaxContinuations further requests, each after a wait (download_wait.h)
  // in which the window's events run: the rest of the same file when the server
  // proves it unchanged (download/http_resume.h), else the whole file again. Only for
  // a file whose digest is checked once it is complete: nothing spliced passes.
  kContinue,
};

// Fetches SiteAddress + RemoteName (SiteAddress normalised in place first) into the
// file at LocalPath, 256 bytes at a time, showing progress in the label set with
// SetProgressLabel and letting pending window events run after every read. Stops
// before the next read once DownloadState is 2. Returns 1 when at least one
// non-empty chunk was written during this call and the file was not deleted as a
// failed download, else 0 (so 0 for an answer other than 200, a signature body past
// kMaxSignatureBytes, a break, a refused length or a passed deadline); never throws.
// Bounds: an answer is read up to the length it announced (a 200's Content-Length, a
// 206's Content-Range total) and no further; a length announced or reached above
// kMaxPackageBytes fails the download; an answer slower than `limits` allow is a break;
// past the limits' deadline the download fails.
// What it leaves at LocalPath:
//   - no connection, or no answer: an older file stays untouched;
//   - the file cannot be created: no file (an older one has been deleted if it could);
//   - end of the data, or of the announced length: the body up to there (an empty
//     file for an empty body);
//   - an answer other than 200 after the redirections, a signature (a name ending in
//     ".sig") larger than kMaxSignatureBytes, a break (see OnBreak: with kContinue,
//     one that its continuations did not mend), a length above kMaxPackageBytes, the
//     deadline, or a stop request: no file;
//   - any other failure (a write): the bytes written so far.
// DownloadState is 1 while it runs and 0 when it returns, whichever way. The download
// observer, if one is set, is told what the call did just before it returns.
std::int16_t DownloadFile(const std::wstring& RemoteName, const std::wstring& LocalPath,
                          OnBreak onBreak = OnBreak::kFail, const DownloadLimits& limits = {});

// The label that shows the progress message; null shows none. The wizard form sets
// its Label1 here for its lifetime.
void SetProgressLabel(platform::Control* label) noexcept;

// Forgets `label` if it is the progress label (a form that goes away calls this).
void ReleaseProgressLabel(const platform::Control* label) noexcept;

// One further request of a download after a break.
struct ContinuationReport {
  std::int32_t offset = 0;   // bytes of the file kept when it was sent
  std::uint32_t status = 0;  // its HTTP status; 0 when no answer was read
  std::int32_t bytes = 0;    // body bytes it brought
};

// How a download that broke ended.
enum class BreakOutcome {
  kNone,      // it did not break (or breaks end it: OnBreak::kFail)
  kComplete,  // the whole file arrived
  kStopped,   // a stop request came
  kRefused,   // an answer that does not continue the file
  kGaveUp,    // kMaxContinuations further requests, and still no whole file
  kDeadline,  // the run's deadline passed before the file was whole
  kFailed,    // the file could not be written
};

// A bound that cut a download short or failed it.
enum class DownloadBound {
  kNone,
  kTooLarge,   // an answer announced more than kMaxPackageBytes
  kPastLimit,  // more than kMaxPackageBytes arrived
  kOverrun,    // an answer went on past its announced length: read up to there only
  kDeadline,   // the run's deadline passed
};

// What one DownloadFile call did, for a run log.
struct DownloadReport {
  std::wstring url;            // SiteAddress + RemoteName as asked for
  std::uint32_t status = 0;    // the first answer's HTTP status; 0 when no answer was read
  std::int32_t bytes = 0;      // body bytes of the first answer
  std::int64_t milliseconds = 0;
  std::int16_t result = 0;     // what DownloadFile returned
  std::vector<ContinuationReport> continuations;  // in the order they were sent
  BreakOutcome outcome = BreakOutcome::kNone;
  DownloadBound bound = DownloadBound::kNone;
  std::int64_t announced = -1;  // with kTooLarge and kOverrun: the length announced
  int slowAnswers = 0;          // answers broken off as slower than the limits allow
};

// Told about every DownloadFile call as it returns. Must not throw.
class DownloadObserver {
 public:
  virtual ~DownloadObserver() = default;
  virtual void OnDownload(const DownloadReport& report) noexcept = 0;
};

// The observer of the downloads; null for none (the default). Set like the progress
// label, by the owner of the run log for its lifetime.
void SetDownloadObserver(DownloadObserver* observer) noexcept;

// Forgets `observer` if it is the one set.
void ReleaseDownloadObserver(const DownloadObserver* observer) noexcept;

}  // namespace vlr
