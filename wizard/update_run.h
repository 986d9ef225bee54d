// The update run: the body of wizard step 2.
#pragma once

#include <string>

namespace vlr {

class Form1;

// Fetches the version file and the package from the chosen mirror, unpacks the
// package into the updater's folder and leaves the outcome in `stepMessage`, the
// connection-failure text for every failure before the extraction. A build with a
// package key also fetches "version.html.sig" and checks the version file against it,
// and checks the package against the SHA-256 the version file names for it; a missing
// or wrong signature or digest ends the run with "Update not authentic!" /
// "Mise-à-jour non authentique!", its files deleted and nothing extracted, and a
// version older than the one recorded as installed ends it as "Update refused!"
// before the package is asked for. After a successful extraction every build records
// the version installed. The run's temporary folder is removed at the end, whatever
// happened. Recaptions Command3. When the window was closed during a download the run
// ends there: `stepMessage` stays empty and Command3 keeps its caption.
void UpdateRun(Form1& form, std::wstring& stepMessage);

}  // namespace vlr
