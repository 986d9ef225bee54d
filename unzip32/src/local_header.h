// The local header in front of each member's data, checked against the central
// directory, and the data descriptor that may follow the data.
#pragma once

#include <cstdint>

#include "byte_source.h"
#include "status.h"
#include "zip_records.h"

namespace uz32 {

// Where one member's bytes lie in the file.
struct MemberSpan {
  uint64_t headerOffset = 0;  // the local header
  uint64_t dataOffset = 0;    // the (encryption header and) compressed data
  uint64_t dataEnd = 0;       // one past the compressed data
};

// Reads e's local header (stored offset + prefix), checks that it agrees with e (name,
// method, encryption, and CRC and sizes when no data descriptor follows) and that the
// data ends at or before limit. Fails with UNZIP_ERR_FORMAT naming the member, or the
// read's failure; out is then not to be used.
Status LocateMemberData(ByteSource& src, const ZipEntry& e, uint64_t prefix, uint64_t limit,
                        MemberSpan& out);

// For a member with a data descriptor: checks that the descriptor after the data (with
// or without its signature) carries e's CRC, and lies before limit. Succeeds at once
// for other members. Fails with UNZIP_ERR_FORMAT.
Status CheckDataDescriptor(ByteSource& src, const ZipEntry& e, const MemberSpan& where,
                           uint64_t limit);

}  // namespace uz32
