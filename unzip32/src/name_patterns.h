// The member name lists: which members a run processes. A member is processed when it
// matches an include pattern (or there is none) and no exclude pattern. Patterns match
// the whole stored name with '/' between folders ('\' in a pattern or a name counts as
// '/'): '*' any run of characters ('/' included), '?' one character, "[...]" one of a
// set ("[a-z]" ranges, "[!...]" or "[^...]" negated; an unclosed '[' is itself).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "status.h"

namespace uz32 {

// True when name matches pattern; ignoreCase folds ASCII letters. Time is bounded by
// the product of the lengths (no exponential backtracking).
bool MatchesPattern(std::u32string_view pattern, std::u32string_view name, bool ignoreCase);

class NameFilter {
 public:
  // Reads a list as the caller passed it: count names from the array (at most the
  // record's 100), ending early at a null pointer. Fails with UNZIP_ERR_BAD_OPTIONS
  // when count is negative or above 100, or count is positive but the array or its
  // first name is null; the filter is then unchanged.
  Status SetIncludes(int32_t count, char* const* names);
  Status SetExcludes(int32_t count, char* const* names);
  void SetIgnoreCase(bool ignoreCase) { ignoreCase_ = ignoreCase; }

  bool empty() const { return includes_.empty() && excludes_.empty(); }

  // Whether the member named name (decoded stored name) is to be processed. When it is,
  // marks the include patterns it matched in hits (sized by NewHits()).
  bool Selects(std::u32string_view name, std::vector<bool>& hits) const;
  std::vector<bool> NewHits() const { return std::vector<bool>(includes_.size(), false); }
  // The include patterns not marked in hits, quoted and separated by ", " (UTF-8);
  // empty when every one was.
  std::string Unmatched(const std::vector<bool>& hits) const;

 private:
  struct Pattern {
    std::u32string match;  // '\' turned into '/'
    std::string shown;     // as given, UTF-8
  };
  static Status ReadList(const char* what, int32_t count, char* const* names,
                         std::vector<Pattern>& out);
  bool AnyMatches(const std::vector<Pattern>& list, std::u32string_view name,
                  std::vector<bool>* hits) const;

  std::vector<Pattern> includes_;
  std::vector<Pattern> excludes_;
  bool ignoreCase_ = false;
};

}  // namespace uz32
