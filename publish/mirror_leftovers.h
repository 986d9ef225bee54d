// What vlrpublish may find of its own where it writes a mirror: the files of a mirror
// it made, and the folders an interrupted run left beside it.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace vlrpub {

// The name stem of every working folder of the mirror called `mirrorName`:
// "." + mirrorName + ".vlrpublish-" + what ("new", "old", "check"; sign's, inside the
// mirror folder, is the stem of the mirror's own "version.html" with "sign").
std::string WorkingFolderStem(const std::filesystem::path& mirrorName, const std::string& what);

// The entries of the existing folder `mirror` that are not a mirror's: anything but
// ordinary files named version.html, vlr*.zip and their .sig, and working folders of
// ours. At most `most` names (escaped for printing); `more` counts the rest. An
// unreadable folder gives one entry saying so.
std::vector<std::string> ForeignEntries(const std::filesystem::path& mirror, std::size_t most,
                                        std::size_t& more);

// Mends what an interrupted run of make left beside `mirror`: when `mirror` is missing
// and an old mirror was left aside, it is put back; then every working folder of this
// mirror is removed. Returns the one line that says what was done ("" when nothing
// was found); what could not be done is said in it too.
std::string RecoverInterruptedRun(const std::filesystem::path& mirror);

// Removes the working folders of sign that a run which was killed left inside
// `mirror`. (Whatever pair such a run left, the sign that calls this writes a new one.)
// Returns the one line that says so ("" when none was found).
std::string RemoveSignLeftovers(const std::filesystem::path& mirror);

}  // namespace vlrpub
