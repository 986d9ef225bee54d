#include "wizard/mirror_list.h"

#include "download/download_state.h"
#include "mirror/mirror_rules.h"
#include "platform/text.h"
#include "wizard/run_log.h"

namespace vlr {

namespace {

std::wstring Trimmed(const std::wstring& text) {
  const std::size_t first = text.find_first_not_of(L" \t");
  if (first == std::wstring::npos) return {};
  return text.substr(first, text.find_last_not_of(L" \t") - first + 1);
}

}  // namespace

std::vector<std::wstring> SplitMirrorList(const std::wstring& text) {
  std::vector<std::wstring> addresses;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(L';', start);
    std::wstring one = Trimmed(text.substr(start, end == std::wstring::npos ? end : end - start));
    if (!one.empty()) addresses.push_back(std::move(one));
    if (end == std::wstring::npos) break;
    start = end + 1;
  }
  if (addresses.empty()) addresses.push_back(text);
  return addresses;
}

MirrorList::MirrorList(std::vector<std::wstring> addresses, RunLog* log)
    : addresses_(std::move(addresses)), log_(log) {
  SetDownloadObserver(this);
}

MirrorList::~MirrorList() {
  ReleaseDownloadObserver(this);
  if (log_) SetDownloadObserver(log_);
}

std::string MirrorList::Heading(std::size_t index) const {
  return "mirror " + std::to_string(index + 1) + " of " + std::to_string(addresses_.size()) +
         " (" + WithoutPassword(LogText(addresses_[index])) + "): ";
}

bool MirrorList::Use(std::size_t index, const std::string& asked) {
  current_ = NormalisedSiteAddress(addresses_[index]);
  if (dead_.count(current_)) {
    Attempt(index, asked, "not asked, it failed to answer earlier in this run");
    return false;
  }
  SiteAddress = addresses_[index];
  return true;
}

void MirrorList::Attempt(std::size_t index, const std::string& asked, const std::string& outcome) {
  if (log_ && addresses_.size() > 1) log_->Line(Heading(index) + asked + " -> " + outcome);
}

void MirrorList::OnDownload(const DownloadReport& report) noexcept {
  if (log_) log_->OnDownload(report);
  // No answer at all, or an error status: the server is down or does not hold the
  // release; asking it again in this run would only repeat that.
  if (report.result == 0 && (report.status == 0 || report.status >= 400)) {
    try {
      dead_.insert(current_);
    } catch (...) {
      // Out of memory: the address may be asked again, which is harmless.
    }
  }
}

}  // namespace vlr
