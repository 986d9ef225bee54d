// The option record and name-list counts as this library reads them. Supported:
// PromptToOverwrite and OverwriteAll (0/1), Quiet (0/1/2), TestArchive and
// VerboseListing (0/1, not both), DisplayComment (0/1), RecreateFolders (0/1),
// IgnoreCase (0/1), SpaceToUnderscore (0/1), ExtractOnlyNewer and FreshenOnly (0/1),
// and the include and exclude name lists (counts 0 to 100). Every other field must be
// 0: what this library does not implement is refused rather than ignored.
#pragma once

#include <string>

#include "name_patterns.h"
#include "os/file_system.h"
#include "status.h"
#include "unzip32.h"

namespace uz32 {

enum class RunMode { Extract, Test, List };

// OverwriteAll set: Always. Else PromptToOverwrite set: Ask the replace procedure.
// Neither: Never (existing files are kept).
enum class OverwritePolicy { Always, Ask, Never };

// Which members are written, by the existing files' times (the overwrite policy then
// still decides about each existing file). All: every member. Newer: members with no
// file yet, or newer than it. Freshen: only members newer than an existing file.
enum class TimeRule { All, Newer, Freshen };

struct RunOptions {
  RunMode mode = RunMode::Extract;
  OverwritePolicy overwrite = OverwritePolicy::Never;
  int32_t quiet = 0;
  bool showComment = false;
  bool recreateFolders = false;
  bool spaceToUnderscore = false;
  TimeRule times = TimeRule::All;
  NameFilter names;  // which members are processed
  NativeString archive;
  NativeString folder;  // empty outside extraction
  std::string archiveUtf8;
};

// Fills out from the record. Fails with UNZIP_ERR_BAD_OPTIONS naming the first value
// this library does not support (out is then not to be used). The name arrays are read
// as NameFilter reads them (at most 100 entries each, ending at a null pointer).
Status ReadOptions(int32_t includeCount, char* const* includeNames, int32_t excludeCount,
                   char* const* excludeNames, const UnzipOptionsRecord* o, RunOptions& out);

}  // namespace uz32
