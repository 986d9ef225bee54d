// What UzpVersion2 writes into the version record.
#pragma once

#include "unzip32.h"

namespace uz32 {

// The library's own version (also that of the Windows DLL).
inline constexpr UnzipVersionTriple kLibraryVersion = {1, 0, 0, 0};

// Fills record when it is there and says it is the 64-byte fixed-length form (shorter
// records are left untouched): flags bit 1 (inflate by zlib), an empty beta-level text
// (a release), the release date, zlib's version, and the library's version as the UnZip
// and Windows DLL versions (ZipInfo and OS/2 versions 0: not provided).
void FillVersionRecord(UnzipVersionRecord* record);

}  // namespace uz32
