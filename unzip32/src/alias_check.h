// A member must not replace an existing file that the folder lists under another name:
// on Windows a short 8.3 name ("VLRMAI~1.EXE") opens the file listed as "vlrmainfr.exe",
// and replacing it through that name would leave the folder without vlrmainfr.exe.
#pragma once

#include "extraction_plan.h"
#include "os/file_system.h"
#include "status.h"

namespace uz32 {

// Fails with UNZIP_ERR_FORMAT ("refusing member '<name>': ...", as any refused name)
// for the first planned file whose target in `folder` is an existing file the folder
// lists under another name (case aside). Reads only; writes nothing.
Status RefuseAliasedFiles(FileSystem& fs, const NativeString& folder, const Plan& plan);

}  // namespace uz32
