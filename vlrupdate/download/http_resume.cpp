#include "download/http_resume.h"

#include <charconv>
#include <string_view>

namespace platform {

namespace {

std::string_view Trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// True for text that can go into a header line as it is: printable, no line break.
bool FitsAHeader(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
  }
  return !text.empty();
}

// Decimal digits only, without sign or blanks; nothing for anything else or a number
// past int64.
std::optional<std::int64_t> Number(std::string_view text) {
  std::int64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.starts_with('-') || error != std::errc() || stop != end) return std::nullopt;
  return value;
}

// "bytes FIRST-LAST/TOTAL" (the unit in any case); nothing for any other form, a
// multipart answer's missing header or an unknown total ("*") included.
struct ByteRange {
  std::int64_t first, last, total;
};
std::optional<ByteRange> ParseContentRange(std::string_view text) {
  text = Trimmed(text);
  constexpr std::string_view kUnit = "bytes";
  if (text.size() <= kUnit.size()) return std::nullopt;
  for (std::size_t i = 0; i < kUnit.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kUnit[i]) return std::nullopt;
  }
  text.remove_prefix(kUnit.size());
  if (text.front() != ' ') return std::nullopt;
  text = Trimmed(text);
  const std::size_t dash = text.find('-');
  const std::size_t slash = text.find('/');
  if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash)
    return std::nullopt;
  const auto first = Number(text.substr(0, dash));
  const auto last = Number(text.substr(dash + 1, slash - dash - 1));
  const auto total = Number(text.substr(slash + 1));
  if (!first || !last || !total) return std::nullopt;
  return ByteRange{*first, *last, *total};
}

}  // namespace

FileIdentity IdentityFrom(const std::optional<std::string>& etag,
                          const std::optional<std::string>& lastModified,
                          const std::optional<std::string>& contentLength) {
  FileIdentity file;
  // A strong ETag is a quoted string; "W/" in front makes it weak, and a weak one
  // says only that two files are equivalent, not byte for byte the same.
  const std::string_view tag = etag ? Trimmed(*etag) : std::string_view();
  const std::string_view date = lastModified ? Trimmed(*lastModified) : std::string_view();
  if (tag.size() >= 2 && tag.front() == '"' && tag.back() == '"' && FitsAHeader(tag)) {
    file.validator = std::string(tag);
  } else if (FitsAHeader(date)) {
    file.validator = std::string(date);
  }
  if (contentLength) {
    if (const auto length = Number(Trimmed(*contentLength))) file.length = *length;
  }
  return file;
}

FileIdentity AnswerIdentity(Internet& internet, InternetHandle url) {
  return IdentityFrom(AnswerHeader(internet, url, kHttpQueryEtag),
                      AnswerHeader(internet, url, kHttpQueryLastModified),
                      AnswerHeader(internet, url, kHttpQueryContentLength));
}

std::string ContinuationHeaders(const FileIdentity& file, std::int64_t offset) {
  if (file.validator.empty() || file.length <= 0 || offset < 0) return {};
  return "Range: bytes=" + std::to_string(offset) + "-\r\nIf-Range: " + file.validator + "\r\n";
}

ContinuationVerdict JudgeContinuation(bool rangeAsked, std::optional<std::uint32_t> status,
                                      const std::optional<std::string>& contentRange,
                                      std::int64_t offset, const FileIdentity& file) {
  if (status == 200u) return ContinuationVerdict::kRestart;
  if (status != 206u || !rangeAsked || !contentRange || file.length <= 0)
    return ContinuationVerdict::kRefuse;
  const std::optional<ByteRange> range = ParseContentRange(*contentRange);
  if (!range || range->first != offset || range->total != file.length ||
      range->last != file.length - 1)
    return ContinuationVerdict::kRefuse;
  return ContinuationVerdict::kAppend;
}

}  // namespace platform
