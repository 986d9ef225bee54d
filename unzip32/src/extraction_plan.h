// The checks made before anything is written: every entry is classified, its method and
// encryption must be decodable, its file name safe and unique, its local header
// consistent, and no two members may share bytes. The result lists the files to write.
#pragma once

#include <string>
#include <vector>

#include "byte_source.h"
#include "central_directory.h"
#include "local_header.h"
#include "platform/file_system.h"
#include "status.h"

namespace uz32 {

struct PlannedMember {
  const ZipEntry* entry = nullptr;  // points into the Archive the plan was built from
  std::string storedName;           // the name as stored (UTF-8), for the callbacks
  NativeString fileName;            // the file it becomes: the last component
  std::string fileNameUtf8;
  MemberSpan span;
};

struct Plan {
  std::vector<PlannedMember> files;  // in directory order
  size_t folders = 0;                // folder entries skipped
};

// Builds the plan for archive (read from src). Fails with UNZIP_ERR_UNSUPPORTED (a
// method or encryption this library cannot decode, a symbolic link), UNZIP_ERR_FORMAT
// (a name that cannot be decoded or is refused, two members for one file, a local header
// or data descriptor that disagrees with the directory, members that overlap),
// UNZIP_ERR_NO_MEMBERS (no file at all), or a read's failure; out is then partly filled.
Status BuildPlan(ByteSource& src, const Archive& archive, Plan& out);

}  // namespace uz32
