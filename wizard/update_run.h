// The update run: the body of wizard step 2.
#pragma once

#include <string>

namespace vlr {

class Form1;

// Fetches the version file and the package from the chosen mirror, unpacks the
// package into the updater's folder and leaves the outcome in `stepMessage` (empty
// when the run could not start at all). Recaptions Command3.
void UpdateRun(Form1& form, std::wstring& stepMessage);

}  // namespace vlr
