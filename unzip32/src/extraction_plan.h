// The checks made before anything is written: every entry is classified, its method and
// encryption must be decodable, its file name safe and unique, its local header
// consistent, and no two members may share bytes. The result lists the files to write.
#pragma once

#include <string>
#include <vector>

#include "byte_source.h"
#include "central_directory.h"
#include "local_header.h"
#include "name_patterns.h"
#include "os/file_system.h"
#include "status.h"

namespace uz32 {

struct PlannedMember {
  const ZipEntry* entry = nullptr;  // points into the Archive the plan was built from
  std::string storedName;           // the name as stored (UTF-8), for the callbacks
  NativeString fileName;            // the file it becomes: the last component, or the
                                    // relative path when folders are recreated
  std::string fileNameUtf8;         // the same, with '/' between folders
  MemberSpan span;
};

// How stored names become files.
struct PlanRules {
  // false: every file goes straight into the folder under its last component.
  // true: the stored folders are kept, below the folder.
  bool recreateFolders = false;
  // Spaces in the names written become '_' (after the name checks; two members whose
  // converted names clash are refused like any other duplicate).
  bool spaceToUnderscore = false;
  // Which members to process; null or empty: all.
  const NameFilter* filter = nullptr;
};

struct Plan {
  std::vector<PlannedMember> files;  // in directory order
  size_t folders = 0;                // folder entries (skipped unless folders are recreated)
  // Folders recreated: every folder the files and folder entries need, relative to the
  // extraction folder, each once, parents before children.
  std::vector<NativeString> folderPaths;
  // Lines to print: names whose drive, server or leading separator was dropped.
  std::vector<std::string> warnings;
};

// Builds the plan for archive (read from src). Fails with UNZIP_ERR_UNSUPPORTED (a
// method or encryption this library cannot decode, a symbolic link), UNZIP_ERR_FORMAT
// (a name that cannot be decoded or is refused, two members for one file, a local header
// or data descriptor that disagrees with the directory, members that overlap),
// UNZIP_ERR_NO_MEMBERS (an include pattern that selects no member, naming every such
// pattern; no file at all; with folders recreated, no folder either), or a
// read's failure; out is then partly filled. With folders recreated every component of
// a path is held to the file-name rules, and a name used both as a file and as a folder
// is refused like a duplicate. Members the filter leaves out are not checked at all.
Status BuildPlan(ByteSource& src, const Archive& archive, const PlanRules& rules, Plan& out);
inline Status BuildPlan(ByteSource& src, const Archive& archive, Plan& out) {
  return BuildPlan(src, archive, PlanRules{}, out);
}

}  // namespace uz32
