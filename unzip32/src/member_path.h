// The relative path a member becomes when its stored folders are recreated: the stored
// name split on '/' and '\', made relative (a leading drive, server share or separator
// is dropped), every component held to the rules of a single file name.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace uz32 {

struct MemberPath {
  std::vector<std::u32string> components;  // folders, then the file (or last folder)
  std::u32string dropped;                  // what was taken off the front; empty if none
};

// Splits name into out. Returns an empty string on success; otherwise the reason for
// refusing the member ("has a '.' or '..' component", ...), with out partly filled.
// Empty components ("a//b", a trailing separator) are skipped; a name left with no
// component at all is refused only when mustName is set (files need a name, a folder
// entry "/" names the extraction folder itself).
std::string SplitMemberPath(std::u32string_view name, bool mustName, MemberPath& out);

}  // namespace uz32
