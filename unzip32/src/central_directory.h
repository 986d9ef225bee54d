// Reading the central directory into ZipEntry records.
#pragma once

#include <vector>

#include "byte_source.h"
#include "end_records.h"
#include "status.h"
#include "zip_records.h"

namespace uz32 {

// Reads every entry the end record announced, in directory order, into out (replacing
// its contents). Fails with UNZIP_ERR_FORMAT on a damaged or inconsistent directory,
// UNZIP_ERR_UNSUPPORTED for an entry on another disk, or the read's failure; out is
// then partly filled.
Status ReadCentralDirectory(ByteSource& src, const DirectoryLocation& where,
                            std::vector<ZipEntry>& out);

// An archive's directory: where it is, its comment, and its entries.
struct Archive {
  DirectoryLocation location;
  std::vector<ZipEntry> entries;
};

// Locates and reads the central directory of src. Fails as LocateDirectory and
// ReadCentralDirectory do; out is then partly filled.
Status ReadArchive(ByteSource& src, Archive& out);

}  // namespace uz32
