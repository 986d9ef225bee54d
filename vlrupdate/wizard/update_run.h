// The update run: the body of wizard step 2.
#pragma once

#include <string>

#include "wizard/update_outcome.h"

namespace vlr {

class Form1;

// Fetches the version file and the package from the chosen mirror, unpacks the
// package into the updater's folder, returns how it ended and leaves the outcome's
// text in `stepMessage`: the connection-failure text when a file could not be fetched
// or the version file gives no version, the texts below for the other endings. A build
// with a package key also fetches "version.html.sig" and checks the version file
// against it (any one of the build's keys may have signed it), and checks the package
// against the SHA-256 the version file names for it; a missing or wrong signature or
// digest, or a version file whose expiry line names a day before today (UTC), ends the
// run with "Update not authentic!" / "Mise-à-jour non authentique!", its files deleted
// and nothing extracted, and a version older than the one recorded as installed ends
// it as "Update refused!" before the package is asked for. After a successful
// extraction every build records the version installed. The run's temporary folder is
// removed at the end, whatever happened. Recaptions Command3. When the window was
// closed during a download the run ends there (kWindowClosed): `stepMessage` stays
// empty and Command3 keeps its caption. `quiet` is the unattended run: it also ends as
// kUpToDate, without asking for the package, when the version recorded as installed
// is the mirror's. Every download is held to the form's limits (Form1::Limits): one
// that fails on them fetched nothing. Writes what it finds, and how the run ended, to
// the form's run log, if any.
UpdateResult UpdateRun(Form1& form, std::wstring& stepMessage, bool quiet = false);

}  // namespace vlr
