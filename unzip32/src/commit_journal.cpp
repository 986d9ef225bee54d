#include "commit_journal.h"

#include "name_safety.h"
#include "name_text.h"
#include "platform/platform_text.h"
#include "reserved_names.h"

namespace uz32 {
namespace {

constexpr std::string_view kHeader = "uz32 commit journal 1";

std::vector<std::string_view> Split(std::string_view line, char separator) {
  std::vector<std::string_view> fields;
  for (;;) {
    const size_t at = line.find(separator);
    fields.push_back(line.substr(0, at));
    if (at == std::string_view::npos) return fields;
    line.remove_prefix(at + 1);
  }
}

std::optional<NativeString> NativeFromUtf8(std::string_view text) {
  const std::optional<std::u32string> decoded = DecodeName(text, true);
  if (!decoded || decoded->empty()) return std::nullopt;
  return NativeFromUnicode(*decoded);
}

// A relative path below the folder: components that are neither empty, "." nor "..",
// no drive, and no component that is one of the library's names.
bool IsInside(std::string_view path) {
  for (std::string_view part : Split(path, '/')) {
    for (std::string_view component : Split(part, '\\')) {
      if (component.empty() || component == "." || component == ".." ||
          component.find(':') != std::string_view::npos ||
          component.substr(0, kReservedPrefixAscii.size()) == kReservedPrefixAscii) {
        return false;
      }
    }
  }
  return true;
}

}  // namespace

std::string FormatJournal(const Journal& journal) {
  std::string text(kHeader);
  text += '\n';
  for (const NativeString& folder : journal.folders) text += "folder\t" + Utf8FromNative(folder) + '\n';
  for (const JournalFile& file : journal.files) {
    text += "file\t" + Utf8FromNative(file.staged) + '\t' + Utf8FromNative(file.target) + '\n';
  }
  text += "end\t" + std::to_string(journal.folders.size() + journal.files.size()) + '\n';
  return text;
}

std::optional<Journal> ParseJournal(std::string_view text) {
  if (text.empty() || text.back() != '\n') return std::nullopt;
  text.remove_suffix(1);
  const std::vector<std::string_view> lines = Split(text, '\n');
  if (lines.size() < 2 || lines.front() != kHeader) return std::nullopt;
  Journal journal;
  for (size_t i = 1; i + 1 < lines.size(); ++i) {
    const std::vector<std::string_view> f = Split(lines[i], '\t');
    if (f.size() == 2 && f[0] == "folder" && IsInside(f[1])) {
      std::optional<NativeString> folder = NativeFromUtf8(f[1]);
      if (!folder) return std::nullopt;
      journal.folders.push_back(std::move(*folder));
    } else if (f.size() == 3 && f[0] == "file" && IsInside(f[2])) {
      std::optional<NativeString> staged = NativeFromUtf8(f[1]);
      std::optional<NativeString> target = NativeFromUtf8(f[2]);
      if (!staged || !target || KindOf(*staged) != ReservedKind::Staged ||
          staged->find_first_of(NativeFromAscii("/\\")) != NativeString::npos) {
        return std::nullopt;
      }
      journal.files.push_back(JournalFile{std::move(*staged), std::move(*target)});
    } else {
      return std::nullopt;
    }
  }
  const std::string count = std::to_string(journal.folders.size() + journal.files.size());
  if (lines.back() != "end\t" + count) return std::nullopt;
  return journal;
}

}  // namespace uz32
