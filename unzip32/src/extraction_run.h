// One call of Wiz_SingleEntryUnzip once its arguments are read: open the archive, read
// its directory, then list, test, or extract it all or nothing.
#pragma once

#include <cstdint>

#include "os/file_system.h"
#include "reporter.h"
#include "run_options.h"

namespace uz32 {

// Returns the run's result code (unzip32.h), having reported its failure through
// reporter. On a failure in extraction mode the folder is left as it was (old files in
// place, no staged file), or, with UNZIP_ERR_UNFINISHED, with a commit half done and
// its journal, for the next extraction or RecoverFolder to complete; the printed lines
// say which.
int32_t RunUnzip(const RunOptions& options, Reporter& reporter, FileSystem& fs);

}  // namespace uz32
