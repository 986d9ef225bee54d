#include "download/download_file.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>

#include "download/download_state.h"
#include "download/local_file.h"
#include "download/progress_message.h"
#include "download/site_address.h"
#include "mirror/mirror_rules.h"
#include "platform/controls.h"
#include "platform/internet.h"
#include "platform/services.h"
#include "platform/skip_on_error.h"
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

// The transfer: replaces the local file with the body read from `url`. Any exception
// leaving here is a failure that ends the transfer with the file kept as written;
// `file` stays with the caller so that it is closed on the way out.
void Transfer(platform::Internet& internet, platform::InternetHandle url,
              const std::wstring& RemoteName, const std::wstring& LocalPath,
              std::unique_ptr<LocalFile>& file, std::int16_t& result, DownloadReport& report) {
  LocalFiles& files = platform::Get<LocalFiles>();
  files.Delete(LocalPath);
  // Nothing of another answer is written, and the call ends as after a failed read.
  if (NotTheFile(internet, url, report.status)) return;
  file = files.Create(LocalPath);
  if (!file) return;

  platform::System& system = platform::Get<platform::System>();
  platform::WindowSystem& windows = platform::Get<platform::WindowSystem>();
  char buffer[platform::kReadChunkBytes];
  const bool signature = IsSignatureName(platform::ToUtf8(RemoteName));
  std::int32_t total = 0;
  double lastProgress = 0.0;
  bool more = true;

  while (more && DownloadState == 1) {
    std::uint32_t count = 0;
    if (!internet.InternetReadFile(url, buffer, platform::kReadChunkBytes, &count)) {
      // A broken transfer leaves no file behind: a partial body must not pass for
      // a complete one.
      file->Close();
      file.reset();
      files.Delete(LocalPath);
      return;
    }
    if (count == 0 || count > std::numeric_limits<std::int32_t>::max()) {
      more = false;
    } else {
      // A platform that reports more than it was asked for has not filled the buffer
      // with it: that is a failed transfer step, not data.
      if (count > platform::kReadChunkBytes) return;
      std::int32_t bytesRead = static_cast<std::int32_t>(count);
      if (total > std::numeric_limits<std::int32_t>::max() - bytesRead) return;
      total += bytesRead;
      report.bytes = total;
      if (signature && static_cast<std::uint32_t>(total) > kMaxSignatureBytes) {
        // No signature is that large: the answer is not one, and stops here.
        file->Close();
        file.reset();
        files.Delete(LocalPath);
        result = 0;
        return;
      }
      if (!file->Write(buffer, count)) return;
      result = 1;
      if (std::fabs(system.TimeOfDay() - lastProgress) > 1.0) {
        lastProgress = system.TimeOfDay();
        if (progressLabel) progressLabel->SetCaption(ProgressMessage(RemoteName, total));
      }
    }
    windows.PumpEvents();
  }

  // A close that fails leaves what reached the disk; a stop request deletes the file
  // even when the body was already complete.
  file->Close();
  file.reset();
  if (DownloadState == 2) files.Delete(LocalPath);
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
                          const std::wstring& localPathArgument) {
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
    // Closed however the call ends, the URL handle first.
    platform::UniqueInternetHandle session, url;
    std::unique_ptr<LocalFile> file;

    SkipOnError([&] {
      internet = &platform::Get<platform::Internet>();
      session = platform::UniqueInternetHandle(
          internet->InternetOpenA("", platform::kInternetOpenTypePreconfig, nullptr, nullptr, 0),
          {internet});
    });
    NormaliseSiteAddress();
    if (downloadObserver) SkipOnError([&] { report.url = SiteAddress + RemoteName; });
    if (session) {
      SkipOnError([&] {
        std::string address = platform::ToAnsi(SiteAddress + RemoteName);
        // "GET" with a length of 0: a header text of zero length, so a plain GET.
        url = platform::UniqueInternetHandle(
            internet->InternetOpenUrlA(session.get(), address.c_str(), "GET", 0,
                                       platform::kOpenUrlFlags, 0),
            {internet});
      });
    }
    if (url) {
      SkipOnError([&] {
        Transfer(*internet, url.get(), RemoteName, LocalPath, file, result, report);
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
