// The built-in mirror addresses: host, "/", path, no trailing "/"; without a scheme
// (plain http) or with "https://" in front.
// The defaults use reserved .example host names that can never resolve; a build sets
// the real ones with -DVLR_MIRRORS="host/path;https://host/path;host/path".
#pragma once

#ifndef VLR_MIRROR_0
#define VLR_MIRROR_0 L"mirror1.veloran.example/updates"
#endif
#ifndef VLR_MIRROR_1
#define VLR_MIRROR_1 L"mirror2.veloran.example/updates"
#endif
#ifndef VLR_MIRROR_2
#define VLR_MIRROR_2 L"miroir.veloran.example/maj"
#endif

namespace vlr {

inline constexpr const wchar_t* kMirrors[3] = {VLR_MIRROR_0, VLR_MIRROR_1, VLR_MIRROR_2};

}  // namespace vlr
