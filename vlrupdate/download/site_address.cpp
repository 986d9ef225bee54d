#include "download/site_address.h"

#include "download/download_state.h"
#include "mirror/mirror_rules.h"

namespace vlr {

void NormaliseSiteAddress() noexcept {
  try {
    SiteAddress = NormalisedSiteAddress(SiteAddress);
  } catch (...) {
    // Out of memory: the address stays as it was and the URL will simply not answer.
  }
}

}  // namespace vlr
