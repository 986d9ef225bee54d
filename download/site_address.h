// The mirror address as the download uses it.
#pragma once

namespace vlr {

// Rewrites SiteAddress in place so that it starts with "http://" or "https://"
// (compared case-sensitively: "HTTP://x" gains a second, lower-case "http://") and
// ends with "/". An address without either scheme gains "http://".
// An empty address becomes "http://". Never throws; on an allocation failure the
// address is left as it was.
void NormaliseSiteAddress() noexcept;

}  // namespace vlr
