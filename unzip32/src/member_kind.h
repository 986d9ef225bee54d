// What a directory entry is (file, folder, symbolic link), whether this library can
// decode it, and how it is named in listings.
#pragma once

#include <string>

#include "status.h"
#include "zip_records.h"

namespace uz32 {

enum class MemberKind { File, Folder, Link };

// Folder: a name ending in '/' or '\', or a folder attribute (DOS or Unix), with no
// content. Link: a Unix symbolic link. Everything else is a file.
MemberKind ClassifyEntry(const ZipEntry& e);

// Succeeds for stored or deflated members, plain or traditionally encrypted. Fails
// with UNZIP_ERR_UNSUPPORTED naming the member otherwise (other methods, strong or
// AES encryption, patch data, masked headers).
Status CheckDecodable(const ZipEntry& e);

// "Stored", "Defl:N" / "Defl:X" / "Defl:F" / "Defl:S" (normal, maximum, fast, super
// fast), or "Unk:NNN" for any other method.
std::string MethodName(const ZipEntry& e);

// Percent saved by compression (0 to 100; 0 when nothing was saved).
uint32_t CompressionFactor(uint64_t compressed, uint64_t uncompressed);

}  // namespace uz32
