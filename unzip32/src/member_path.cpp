#include "member_path.h"

#include <algorithm>

#include "name_safety.h"

namespace uz32 {
namespace {

bool IsSeparator(char32_t c) { return c == U'/' || c == U'\\'; }

bool IsAsciiLetter(char32_t c) { return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z'); }

// Length of the part of name that makes it absolute: "\\server\share" (either slash),
// a drive "C:" followed by a separator or nothing, and the separators that follow.
// A drive-relative "C:x" is not stripped: its component keeps the ':' and is refused.
size_t AbsolutePrefix(std::u32string_view name) {
  size_t i = 0;
  if (name.size() >= 2 && IsSeparator(name[0]) && IsSeparator(name[1])) {
    while (i < name.size() && IsSeparator(name[i])) ++i;
    for (int part = 0; part < 2; ++part) {  // server, then share
      while (i < name.size() && !IsSeparator(name[i])) ++i;
      while (i < name.size() && IsSeparator(name[i])) ++i;
    }
    return i;
  }
  if (name.size() >= 2 && IsAsciiLetter(name[0]) && name[1] == U':' &&
      (name.size() == 2 || IsSeparator(name[2]))) {
    i = 2;
  }
  while (i < name.size() && IsSeparator(name[i])) ++i;
  return i;
}

}  // namespace

std::string SplitMemberPath(std::u32string_view name, bool mustName, MemberPath& out) {
  out = MemberPath{};
  const size_t prefix = AbsolutePrefix(name);
  out.dropped = std::u32string(name.substr(0, prefix));
  std::u32string_view rest = name.substr(prefix);
  while (!rest.empty()) {
    const size_t cut = std::min(rest.find_first_of(U"/\\"), rest.size());
    const std::u32string_view component = rest.substr(0, cut);
    rest.remove_prefix(cut < rest.size() ? cut + 1 : cut);
    if (component.empty()) continue;
    if (component == U"." || component == U"..") return "has a '.' or '..' component";
    if (std::string why = RefusalReason(component); !why.empty()) {
      return "has a component that " + why;
    }
    out.components.emplace_back(component);
  }
  if (mustName && out.components.empty()) return "has no file name";
  return {};
}

}  // namespace uz32
