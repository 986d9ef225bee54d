// State the download shares with the wizard.
#pragma once

#include <cstdint>
#include <string>

namespace vlr {

// The chosen mirror: empty at start, set from the command line or a clicked mirror
// option, normalised in place by the download to "http://...".
extern std::wstring SiteAddress;

// 0 = no download running, 1 = a download is running, 2 = the user asked the running
// download to stop.
extern std::int16_t DownloadState;

}  // namespace vlr
