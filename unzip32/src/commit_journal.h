// The commit journal: once every member is staged and flushed, the list of staged
// names and their targets is written and flushed beside them, before the first rename.
// A complete journal found later means a commit was cut short after that point, with
// every staged file whole: the commit can be finished. An incomplete one (cut short
// while being written) means no rename had started.
//
// The text, UTF-8, one record a line, fields split by a tab (no name holds a tab or a
// line end):
//   uz32 commit journal 1
//   folder <TAB> <relative path>             (to make, parents first)
//   file <TAB> <staged name> <TAB> <relative target path>
//   end <TAB> <number of folder and file lines>
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "os/file_system.h"

namespace uz32 {

struct JournalFile {
  NativeString staged;  // name of the staged file in the extraction folder
  NativeString target;  // path relative to the extraction folder (native separators)
};

struct Journal {
  std::vector<NativeString> folders;  // relative, parents first
  std::vector<JournalFile> files;
};

// The longest journal a commit writes, and so the longest a recovery reads: an archive
// whose journal could be longer is refused before anything is staged.
inline constexpr uint64_t kLongestJournal = 256u << 20;

std::string FormatJournal(const Journal& journal);

// The most bytes FormatJournal writes for so many folders and files whose paths (UTF-8)
// take pathBytes in all.
uint64_t JournalSizeBound(uint64_t folders, uint64_t files, uint64_t pathBytes);

// The journal text holds; nothing when it is incomplete or damaged, or names anything
// a commit of this library cannot have written: a staged name that is not one, or a
// path with a component no member could have (empty, "." or "..", a control
// character or NUL, ':' or another character Windows refuses, a trailing dot or
// space, a device name, the prefix of this library's own names in any case).
std::optional<Journal> ParseJournal(std::string_view text);

}  // namespace uz32
