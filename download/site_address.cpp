#include "download/site_address.h"

#include <string>

#include "download/download_state.h"

namespace vlr {

void NormaliseSiteAddress() noexcept {
  try {
    std::wstring address = SiteAddress;
    // A text shorter than a scheme never matches it. An https mirror keeps its scheme.
    if (address.compare(0, 7, L"http://") != 0 && address.compare(0, 8, L"https://") != 0) {
      address.insert(0, L"http://");
    }
    if (address.back() != L'/') address += L'/';
    SiteAddress.swap(address);
  } catch (...) {
    // Out of memory: the address stays as it was and the URL will simply not answer.
  }
}

}  // namespace vlr
