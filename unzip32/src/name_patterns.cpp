#include "name_patterns.h"

#include "name_text.h"
#include "os/platform_text.h"
#include "unzip32.h"

namespace uz32 {
namespace {

char32_t Fold(char32_t c, bool ignoreCase) {
  return ignoreCase && c >= U'A' && c <= U'Z' ? c + 32 : c;
}

char32_t Slash(char32_t c) { return c == U'\\' ? U'/' : c; }

// Where the set starting at pattern[at] == '[' ends (the index past its ']'), or 0 when
// it is not closed. A ']' right after "[", "[!" or "[^" belongs to the set.
size_t SetEnd(std::u32string_view pattern, size_t at) {
  size_t i = at + 1;
  if (i < pattern.size() && (pattern[i] == U'!' || pattern[i] == U'^')) ++i;
  if (i < pattern.size() && pattern[i] == U']') ++i;
  while (i < pattern.size() && pattern[i] != U']') ++i;
  return i < pattern.size() ? i + 1 : 0;
}

bool InSet(std::u32string_view set, char32_t c, bool ignoreCase) {  // set without [ ]
  bool negate = false;
  if (!set.empty() && (set[0] == U'!' || set[0] == U'^')) {
    negate = true;
    set.remove_prefix(1);
  }
  const char32_t want = Fold(c, ignoreCase);
  for (size_t i = 0; i < set.size(); ++i) {
    if (i + 2 < set.size() && set[i + 1] == U'-') {
      if (want >= Fold(set[i], ignoreCase) && want <= Fold(set[i + 2], ignoreCase)) return !negate;
      i += 2;
    } else if (Fold(set[i], ignoreCase) == want) {
      return !negate;
    }
  }
  return negate;
}

// Matches one pattern element at pattern[p] against c; sets next to the element's end.
bool MatchOne(std::u32string_view pattern, size_t p, char32_t c, bool ignoreCase,
              size_t& next) {
  if (pattern[p] == U'?') {
    next = p + 1;
    return true;
  }
  if (pattern[p] == U'[') {
    if (const size_t end = SetEnd(pattern, p); end != 0) {
      next = end;
      return InSet(pattern.substr(p + 1, end - p - 2), c, ignoreCase);
    }
  }
  next = p + 1;
  return Fold(pattern[p], ignoreCase) == Fold(c, ignoreCase);
}

std::u32string Decode(std::string_view utf8) {
  if (auto text = DecodeName(utf8, true)) return *text;
  return std::u32string(utf8.begin(), utf8.end());  // not UTF-8: one character a byte
}

}  // namespace

bool MatchesPattern(std::u32string_view pattern, std::u32string_view name, bool ignoreCase) {
  // Greedy with one back-up point: the last '*' seen is extended one character at a
  // time, so the cost stays within pattern size times name size.
  size_t p = 0;
  size_t n = 0;
  size_t starP = std::u32string_view::npos;
  size_t starN = 0;
  while (n < name.size()) {
    size_t next = 0;
    if (p < pattern.size() && pattern[p] == U'*') {
      starP = ++p;
      starN = n;
    } else if (p < pattern.size() && MatchOne(pattern, p, Slash(name[n]), ignoreCase, next)) {
      p = next;
      ++n;
    } else if (starP != std::u32string_view::npos) {
      p = starP;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == U'*') ++p;
  return p == pattern.size();
}

Status NameFilter::ReadList(const char* what, int32_t count, char* const* names,
                            std::vector<Pattern>& out) {
  if (count < 0 || count > UNZIP_NAME_LIST_SIZE) {
    return Status::Fail(UNZIP_ERR_BAD_OPTIONS, std::string("the ") + what + " count " +
                                                   std::to_string(count) +
                                                   " is not supported (0 to 100)");
  }
  std::vector<Pattern> list;
  for (int32_t i = 0; i < count && names && names[i]; ++i) {
    const std::string utf8 = Utf8FromNative(NativeFromAnsi(names[i]));
    std::u32string match = Decode(utf8);
    for (char32_t& c : match) c = Slash(c);
    list.push_back(Pattern{std::move(match), utf8});
  }
  if (count > 0 && list.empty()) {
    return Status::Fail(UNZIP_ERR_BAD_OPTIONS, std::string("the ") + what + " list is empty (" +
                                                   "its count is " + std::to_string(count) +
                                                   ") which is not supported");
  }
  out = std::move(list);
  return Status::Ok();
}

Status NameFilter::SetIncludes(int32_t count, char* const* names) {
  return ReadList("include", count, names, includes_);
}

Status NameFilter::SetExcludes(int32_t count, char* const* names) {
  return ReadList("exclude", count, names, excludes_);
}

bool NameFilter::AnyMatches(const std::vector<Pattern>& list, std::u32string_view name,
                            std::vector<bool>* hits) const {
  bool any = false;
  for (size_t i = 0; i < list.size(); ++i) {
    if (MatchesPattern(list[i].match, name, ignoreCase_)) {
      any = true;
      if (!hits) break;
      (*hits)[i] = true;
    }
  }
  return any;
}

bool NameFilter::Selects(std::u32string_view name, std::vector<bool>& hits) const {
  if (AnyMatches(excludes_, name, nullptr)) return false;
  if (includes_.empty()) return true;
  std::vector<bool> mine(includes_.size(), false);
  if (!AnyMatches(includes_, name, &mine)) return false;
  for (size_t i = 0; i < mine.size(); ++i) hits[i] = hits[i] || mine[i];
  return true;
}

std::string NameFilter::Unmatched(const std::vector<bool>& hits) const {
  std::string out;
  for (size_t i = 0; i < includes_.size(); ++i) {
    if (hits[i]) continue;
    if (!out.empty()) out += ", ";
    out += "'" + includes_[i].shown + "'";
  }
  return out;
}

}  // namespace uz32
