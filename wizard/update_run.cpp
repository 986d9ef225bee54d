#include "wizard/update_run.h"

#include "wizard/form1.h"

namespace vlr {

// The run needs the download and the extraction, which are not part of the program
// yet: until they are, step 2 reports nothing and leaves Command3 as it is.
void UpdateRun(Form1& /*form*/, std::wstring& /*stepMessage*/) {}

}  // namespace vlr
