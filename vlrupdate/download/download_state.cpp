#include "download/download_state.h"

namespace vlr {

std::wstring SiteAddress;
std::int16_t DownloadState = 0;

}  // namespace vlr
