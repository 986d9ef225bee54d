// The option record and name-list counts as this library reads them. Supported:
// PromptToOverwrite and OverwriteAll (0/1), Quiet (0/1/2), TestArchive and
// VerboseListing (0/1, not both), DisplayComment (0/1). Every other field must be 0 and
// both counts 0 (member name lists are not supported): what this library does not
// implement is refused rather than ignored.
#pragma once

#include <string>

#include "platform/file_system.h"
#include "status.h"
#include "unzip32.h"

namespace uz32 {

enum class RunMode { Extract, Test, List };

// OverwriteAll set: Always. Else PromptToOverwrite set: Ask the replace procedure.
// Neither: Never (existing files are kept).
enum class OverwritePolicy { Always, Ask, Never };

struct RunOptions {
  RunMode mode = RunMode::Extract;
  OverwritePolicy overwrite = OverwritePolicy::Never;
  int32_t quiet = 0;
  bool showComment = false;
  NativeString archive;
  NativeString folder;  // empty outside extraction
  std::string archiveUtf8;
};

// Fills out from the record. Fails with UNZIP_ERR_BAD_OPTIONS naming the first value
// this library does not support (out is then not to be used).
Status ReadOptions(int32_t includeCount, int32_t excludeCount, const UnzipOptionsRecord* o,
                   RunOptions& out);

}  // namespace uz32
