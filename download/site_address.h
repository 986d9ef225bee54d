// The mirror address as the download uses it.
#pragma once

namespace vlr {

// Rewrites SiteAddress in place so that it starts with "http://" (compared case-
// sensitively: "HTTP://x" gains a second, lower-case scheme) and ends with "/".
// An empty address becomes "http://". Never throws; on an allocation failure the
// address is left as it was.
void NormaliseSiteAddress() noexcept;

}  // namespace vlr
