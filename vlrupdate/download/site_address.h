// The mirror address as the download uses it.
#pragma once

namespace vlr {

// Rewrites SiteAddress in place to NormalisedSiteAddress(SiteAddress). Never throws;
// on an allocation failure the address is left as it was.
void NormaliseSiteAddress() noexcept;

}  // namespace vlr
