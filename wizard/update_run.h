// The update run: the body of wizard step 2.
#pragma once

#include <string>

namespace vlr {

class Form1;

// Fetches the version file and the package from the chosen mirror, unpacks the
// package into the updater's folder and leaves the outcome in `stepMessage`, the
// connection-failure text for every failure before the extraction. Recaptions
// Command3. When the window was closed during a download the run ends there:
// `stepMessage` stays empty and Command3 keeps its caption.
void UpdateRun(Form1& form, std::wstring& stepMessage);

}  // namespace vlr
