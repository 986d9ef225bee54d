#include "wizard/start_options.h"

#include <cwctype>
#include <string_view>

namespace vlr {

namespace {

bool SameNoCase(std::wstring_view text, std::wstring_view lower) {
  if (text.size() != lower.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto folded = static_cast<wchar_t>(std::towlower(static_cast<std::wint_t>(text[i])));
    if (folded != lower[i]) return false;
  }
  return true;
}

// Whole seconds from 1 to kMaxDeadlineSeconds, digits only; nothing for anything else.
std::optional<std::uint32_t> DeadlineSeconds(std::wstring_view digits) {
  if (digits.empty() || digits.size() > 6) return std::nullopt;
  std::uint32_t value = 0;
  for (wchar_t c : digits) {
    if (c < L'0' || c > L'9') return std::nullopt;
    value = value * 10 + static_cast<std::uint32_t>(c - L'0');
  }
  if (value == 0 || value > kMaxDeadlineSeconds) return std::nullopt;
  return value;
}

}  // namespace

StartOptions ReadStartOptions(const std::wstring& argumentText) {
  StartOptions options;
  const std::wstring_view text(argumentText);
  const std::size_t n = text.size();
  std::size_t p = 0;
  while (p < n && text[p] == L'/') {
    std::size_t end = text.find(L' ', p);
    if (end == std::wstring_view::npos) end = n;
    const std::wstring_view word = text.substr(p, end - p);
    if (SameNoCase(word, L"/quiet")) {
      options.quiet = true;
    } else if (word.size() >= 10 && SameNoCase(word.substr(0, 10), L"/deadline:")) {
      options.deadlineSeconds = DeadlineSeconds(word.substr(10));
      options.badDeadline = !options.deadlineSeconds;
    } else if (word.size() >= 5 && SameNoCase(word.substr(0, 5), L"/log:")) {
      const std::size_t start = p + 5;
      if (start < n && text[start] == L'"') {
        const std::size_t close = text.find(L'"', start + 1);
        if (close == std::wstring_view::npos) {
          options.bad = true;
          options.logPath.clear();
          return options;
        }
        options.logPath = std::wstring(text.substr(start + 1, close - start - 1));
        end = close + 1;
        if (end < n && text[end] != L' ') options.bad = true;
      } else {
        options.logPath = std::wstring(text.substr(start, end - start));
      }
      if (options.logPath.empty()) options.bad = true;
      if (options.bad) {
        options.logPath.clear();
        return options;
      }
    } else {
      break;
    }
    p = end < n ? end + 1 : n;
  }
  options.rest = std::wstring(text.substr(p));
  return options;
}

}  // namespace vlr
