#include "commit_journal.h"

#include <ranges>

#include "name_safety.h"
#include "name_text.h"
#include "os/platform_text.h"
#include "reserved_names.h"

namespace uz32 {
namespace {

constexpr std::string_view kHeader = "uz32 commit journal 1";

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> fields;
  for (const auto f : std::views::split(text, separator)) fields.emplace_back(f.begin(), f.end());
  return fields;
}

// A relative path below the folder, as a native one: every component, split on '/'
// and '\\', must be a name a member could have (no control character, '..', device
// name, trailing dot, one of this library's names, ...). Nothing when it is not.
std::optional<NativeString> InsidePath(std::string_view utf8) {
  const std::optional<std::u32string> decoded = DecodeName(utf8, true);
  if (!decoded || decoded->empty()) return std::nullopt;
  std::u32string_view rest = *decoded;
  for (;;) {
    const size_t cut = rest.find_first_of(U"/\\");
    if (!RefusalReason(rest.substr(0, cut)).empty()) return std::nullopt;
    if (cut == std::u32string_view::npos) break;
    rest.remove_prefix(cut + 1);
  }
  return NativeFromUnicode(*decoded);
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

uint64_t JournalSizeBound(uint64_t folders, uint64_t files, uint64_t pathBytes) {
  // A staged name at its longest: the prefix, a process id and a counter at their
  // longest, and ".tmp".
  constexpr uint64_t kStagedName = 7 + 10 + 1 + 20 + 4;
  constexpr uint64_t kEndLine = 4 + 20 + 1;
  return kHeader.size() + 1 + folders * (7 + 1) + files * (5 + kStagedName + 1 + 1) + pathBytes +
         kEndLine;
}

std::optional<Journal> ParseJournal(std::string_view text) {
  if (text.empty() || text.back() != '\n') return std::nullopt;
  text.remove_suffix(1);
  const std::vector<std::string_view> lines = Split(text, '\n');
  if (lines.size() < 2 || lines.front() != kHeader) return std::nullopt;
  Journal journal;
  for (size_t i = 1; i + 1 < lines.size(); ++i) {
    const std::vector<std::string_view> f = Split(lines[i], '\t');
    if (f.size() == 2 && f[0] == "folder") {
      std::optional<NativeString> folder = InsidePath(f[1]);
      if (!folder) return std::nullopt;
      journal.folders.push_back(std::move(*folder));
    } else if (f.size() == 3 && f[0] == "file") {
      std::optional<NativeString> target = InsidePath(f[2]);
      const NativeString staged = NativeFromAscii(f[1]);
      if (!target || !IsStagedName(staged)) return std::nullopt;
      journal.files.push_back(JournalFile{staged, std::move(*target)});
    } else {
      return std::nullopt;
    }
  }
  const std::string count = std::to_string(journal.folders.size() + journal.files.size());
  if (lines.back() != "end\t" + count) return std::nullopt;
  return journal;
}

}  // namespace uz32
