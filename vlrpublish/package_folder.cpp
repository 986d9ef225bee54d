#include "vlrpublish/package_folder.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <optional>
#include <utility>

#include "name_safety.h"
#include "name_text.h"
#include "os/platform_text.h"
#include "platform/text.h"
#include "vlrpublish/shown_text.h"

namespace vlrpub {

namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kMaxMemberSize = 0xFFFFFFFFull;

bool IsAscii(const std::string& s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return (c & 0x80) == 0; });
}

// True for the files systems and editors leave in folders without being asked.
bool LooksLeftByChance(const std::string& name) {
  std::string lower = name;
  for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return lower == ".ds_store" || lower == "thumbs.db" || lower == "desktop.ini" ||
         (!name.empty() && name.back() == '~');
}

// Empty when the library writes `name` as a file of that very name; else the reason.
std::string NameProblem(const std::string& name, std::u32string& unicode) {
  const auto decoded = uz32::DecodeName(name, !IsAscii(name));
  if (!decoded) return "the name is not valid UTF-8";
  unicode = *decoded;
  if (uz32::LastComponent(unicode).size() != unicode.size()) {
    return "the name contains '\\', which the updater takes for a folder separator";
  }
  const std::string why = uz32::RefusalReason(unicode);
  return why.empty() ? std::string() : "the name " + why;
}

// The name as Windows folds it: "É.txt" and "é.txt" are one file there.
uz32::NativeString WindowsCaseKey(const std::u32string& name) {
  return uz32::FileNameKey(uz32::NativeFromUnicode(platform::WindowsNameCase(name)));
}

}  // namespace

PackageFolder ReadPackageFolder(const fs::path& folder, const std::string& label) {
  PackageFolder out;
  const std::string shown = label + " " + ShownName(Utf8FromPath(folder));
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    out.problems.push_back(shown + " is not a folder");
    return out;
  }
  // Names first, sorted so the package is the same whatever order the system lists
  // them in; nothing is opened or even looked at before its name passed (on Windows,
  // "aux.txt" in any folder is the AUX device).
  std::vector<std::pair<std::string, fs::path>> entries;
  fs::directory_iterator it(folder, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    entries.emplace_back(Utf8FromPath(it->path().filename()), it->path());
  }
  if (ec) {
    out.problems.push_back("cannot list " + shown + ": " + ec.message());
    return out;
  }
  std::sort(entries.begin(), entries.end());
  std::vector<std::string> subfolders;
  std::map<uz32::NativeString, std::string> keys;  // one file on Windows -> first name
  for (const auto& [name, path] : entries) {
    const std::string quoted = "'" + ShownName(name) + "'";
    const std::string here = quoted + " in " + shown;  // "'a.txt' in the English folder x"
    std::u32string unicode;
    if (const std::string why = NameProblem(name, unicode); !why.empty()) {
      out.problems.push_back(here + ": " + why);
      continue;
    }
    std::error_code typeError;
    const fs::file_status status = fs::status(path, typeError);  // follows links
    if (fs::is_directory(status)) {
      subfolders.push_back(quoted);
      continue;
    }
    if (!fs::is_regular_file(status)) {
      out.problems.push_back(here + " is not an ordinary file (a broken link, a device, ...)");
      continue;
    }
    const auto [first, fresh] = keys.emplace(WindowsCaseKey(unicode), name);
    if (!fresh) {
      out.problems.push_back("'" + ShownName(first->second) + "' and " + here +
                             " differ only in case: on Windows they are one file");
      continue;
    }
    const std::uint64_t size = fs::file_size(path, typeError);
    const auto time = ModifiedUtc(path);
    if (typeError || !time) {
      out.problems.push_back("cannot read " + here +
                             (typeError ? ": " + typeError.message() : std::string()));
      continue;
    }
    if (size >= kMaxMemberSize) {
      out.problems.push_back(here + " is 4 GiB or larger, too large for a package");
      continue;
    }
    if (LooksLeftByChance(name)) {
      out.warnings.push_back(here +
                             " is packed, though systems and editors leave such files unasked; "
                             "remove it from the folder if it is not meant for users");
    }
    out.totalSize += size;
    out.files.push_back({name, path, size, *time});
  }
  if (!subfolders.empty()) {
    std::string names;
    for (const std::string& s : subfolders) names += (names.empty() ? "" : ", ") + s;
    out.problems.push_back(shown + " has subfolders, which the updater does not recreate: " +
                           names + ". Packages are flat: move their files up or leave them out");
  }
  if (entries.empty()) {
    out.problems.push_back(shown + " holds no file: the updater cannot unpack an empty package");
  }
  return out;
}

std::optional<std::int64_t> ModifiedUtc(const fs::path& path) {
  std::error_code ec;
  const fs::file_time_type t = fs::last_write_time(path, ec);
  if (ec) return std::nullopt;
  const auto sys = std::chrono::file_clock::to_sys(t);
  return std::chrono::floor<std::chrono::seconds>(sys).time_since_epoch().count();
}

bool ChangedSinceListed(const PackageFile& file) {
  std::error_code ec;
  const std::uint64_t size = std::filesystem::file_size(file.path, ec);
  const auto time = ModifiedUtc(file.path);
  return ec || !time || size != file.size || *time != file.utcSeconds;
}

}  // namespace vlrpub
