// Finding the central directory: the end record, the zip64 end record and its
// locator, the archive comment, and bytes prepended to the zip data (self-extractors).
#pragma once

#include <cstdint>
#include <string>

#include "byte_source.h"
#include "status.h"

namespace uz32 {

struct DirectoryLocation {
  uint64_t prefix = 0;           // bytes before the zip data; added to stored offsets
  uint64_t directoryOffset = 0;  // file offset of the first central header
  uint64_t directorySize = 0;
  uint64_t entryCount = 0;
  uint64_t directoryEnd = 0;  // file offset where the end records start
  std::string comment;        // raw bytes
};

// Fills out from the end of src. Fails with UNZIP_ERR_NOT_FOUND when there is no end
// record (not a zip archive, or one cut short), UNZIP_ERR_UNSUPPORTED for multi-part
// archives, UNZIP_ERR_FORMAT when the records contradict each other; out is then
// partly filled and must not be used.
Status LocateDirectory(ByteSource& src, DirectoryLocation& out);

}  // namespace uz32
