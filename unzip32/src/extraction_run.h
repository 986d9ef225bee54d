// One call of Wiz_SingleEntryUnzip once its arguments are read: open the archive, read
// its directory, then list, test, or extract it all or nothing.
#pragma once

#include <cstdint>

#include "platform/file_system.h"
#include "reporter.h"
#include "run_options.h"

namespace uz32 {

// Returns the run's result code (unzip32.h), having reported its failure through
// reporter. On any failure in extraction mode the folder is left as it was (old files
// in place, no temporary file), except where the system refused to undo a move, which
// the printed message then names.
int32_t RunUnzip(const RunOptions& options, Reporter& reporter, FileSystem& fs);

}  // namespace uz32
