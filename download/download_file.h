// Fetching one file from the chosen mirror over HTTP into a local file.
#pragma once

#include <cstdint>
#include <string>

namespace platform {
class Control;
}

namespace vlr {

// Fetches SiteAddress + RemoteName (SiteAddress normalised in place first) into the
// file at LocalPath, 256 bytes at a time, showing progress in the label set with
// SetProgressLabel and letting pending window events run after every read. Stops
// before the next read once DownloadState is 2. Returns 1 when at least one
// non-empty chunk was written during this call, else 0 (always 0 for an answer other
// than 200, and for a signature body past kMaxSignatureBytes); never throws.
// What it leaves at LocalPath:
//   - no connection, or no answer: an older file stays untouched;
//   - the file cannot be created: no file (an older one has been deleted if it could);
//   - end of the data: the complete body (an empty file for an empty body);
//   - an answer other than 200 after the redirections, a signature (a name ending in
//     ".sig") larger than kMaxSignatureBytes, a read that fails, or a stop request:
//     no file;
//   - any other failure (a write, a total past 2,147,483,647 bytes): the bytes
//     written so far.
// DownloadState is 1 while it runs and 0 when it returns, whichever way. The download
// observer, if one is set, is told what the call did just before it returns.
std::int16_t DownloadFile(const std::wstring& RemoteName, const std::wstring& LocalPath);

// The label that shows the progress message; null shows none. The wizard form sets
// its Label1 here for its lifetime.
void SetProgressLabel(platform::Control* label) noexcept;

// Forgets `label` if it is the progress label (a form that goes away calls this).
void ReleaseProgressLabel(const platform::Control* label) noexcept;

// What one DownloadFile call did, for a run log.
struct DownloadReport {
  std::wstring url;            // SiteAddress + RemoteName as asked for
  std::uint32_t status = 0;    // the final HTTP status; 0 when no answer was read
  std::int32_t bytes = 0;      // body bytes received
  std::int64_t milliseconds = 0;
  std::int16_t result = 0;     // what DownloadFile returned
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
