// The mirrors of an unattended run, tried in turn: the mirror text may hold several
// addresses separated by ";".
#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <vector>

#include "download/download_file.h"

namespace vlr {

class RunLog;

// The addresses of `text` split at ";", blanks around each removed, empty ones left
// out. A text with no address at all is taken whole, as one address.
std::vector<std::wstring> SplitMirrorList(const std::wstring& text);

// The run's walk through its mirrors. While it lives it watches every download (and
// passes each on to the run log, if any): an address whose server answered 4xx or 5xx,
// or that could not be reached, is not asked again in the run.
class MirrorList : public DownloadObserver {
 public:
  MirrorList(std::vector<std::wstring> addresses, RunLog* log);
  ~MirrorList() override;
  MirrorList(const MirrorList&) = delete;
  MirrorList& operator=(const MirrorList&) = delete;

  std::size_t Count() const { return addresses_.size(); }

  // Makes address `index` the one the downloads use (SiteAddress), unless it failed
  // earlier in the run: then logs that it is passed over for `asked` and gives false.
  bool Use(std::size_t index, const std::string& asked);

  // With several addresses, the log's line for one attempt: the address, the file
  // asked for and `outcome`.
  void Attempt(std::size_t index, const std::string& asked, const std::string& outcome);

  // Some address served something not authentic (an administrator should look).
  void SawNotAuthentic() { notAuthentic_ = true; }
  bool AnyNotAuthentic() const { return notAuthentic_; }

  void OnDownload(const DownloadReport& report) noexcept override;

 private:
  std::string Heading(std::size_t index) const;

  std::vector<std::wstring> addresses_;
  RunLog* log_;
  std::set<std::wstring> dead_;  // normalised addresses that failed to answer
  std::wstring current_;         // the normalised address in use
  bool notAuthentic_ = false;
};

}  // namespace vlr
