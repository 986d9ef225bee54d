// What the weakest disk we allow may leave after a power cut, built from the log of a
// run (recording_files.h) in one folder:
//  - a file's data flushed (OutputFile::Finish) is there; data written since its last
//    flush is absent (the file as at that flush, empty if never flushed), cut at a
//    4 KiB boundary, or whole;
//  - the name changes in each folder (creates, renames, replaces, links, removals,
//    folders made or removed) since that folder's last flush persist as any prefix,
//    in the order made; a change that touches two folders (a rename from one to the
//    other, a folder made in its parent) persists in both or in neither, and is made
//    durable by a flush of either;
//  - the cut falls anywhere in the run: after any number of its calls.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "recording_files.h"

namespace powercut {

// A folder's content: relative path ('/' between names) -> bytes; folders map to
// nothing. Names that are links of one file share an id (links).
struct Tree {
  std::map<std::string, std::optional<std::string>> entries;
  std::map<std::string, int> links;  // file path -> the file's id
  bool operator==(const Tree& o) const { return entries == o.entries; }
};

// The folder as it is now on the disk (links not told apart).
Tree ReadTree(const std::filesystem::path& folder);

// Writes tree into folder, replacing whatever is there; names of one file become
// hard links where the system can.
void WriteTree(const std::filesystem::path& folder, const Tree& tree);

struct CrashStates {
  std::vector<Tree> states;
  std::vector<bool> afterTheEnd;  // the cut fell after the run's last call
  bool exhaustive = false;
  uint32_t seed = 0;
};

// Every distinct state a cut of the run logged in `log` can leave in folder (whose
// content before the run was `before`), or, when there are more than `most`, that many
// drawn with a fixed seed.
CrashStates ExploreCrashes(const std::filesystem::path& folder, const Tree& before,
                           const std::vector<Op>& log, size_t most, uint32_t seed);

}  // namespace powercut
