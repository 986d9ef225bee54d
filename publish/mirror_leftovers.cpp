#include "publish/mirror_leftovers.h"

#include <algorithm>

#include "mirror/mirror_rules.h"
#include "publish/shown_text.h"
#include "publish/utf8_path.h"

namespace vlrpub {

namespace {

namespace fs = std::filesystem;

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

bool StartsWith(const std::string& s, const std::string& head) {
  return s.compare(0, head.size(), head) == 0;
}

bool AllDigits(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// True for "<stem>-<digits>".
bool IsWorkingFolderName(const std::string& name, const std::string& stem) {
  return StartsWith(name, stem + "-") && AllDigits(name.substr(stem.size() + 1));
}

bool IsMirrorFileName(std::string name) {
  if (EndsWith(name, ".sig")) name.resize(name.size() - 4);
  return name == vlr::kVersionFileName || (StartsWith(name, "vlr") && EndsWith(name, ".zip"));
}

// A working folder of any mirror of ours: ".<name>.vlrpublish-<what>-<digits>".
bool IsAnyWorkingFolderName(const std::string& name) {
  for (const char* what :
       {".vlrpublish-new-", ".vlrpublish-old-", ".vlrpublish-check-", ".vlrpublish-sign-"}) {
    const std::size_t at = name.rfind(what);
    if (!name.empty() && name[0] == '.' && at != std::string::npos &&
        AllDigits(name.substr(at + std::string(what).size())))
      return true;
  }
  return false;
}

}  // namespace

std::string WorkingFolderStem(const fs::path& mirrorName, const std::string& what) {
  return "." + Utf8FromPath(mirrorName) + ".vlrpublish-" + what;
}

std::vector<std::string> ForeignEntries(const fs::path& mirror, std::size_t most,
                                        std::size_t& more) {
  std::vector<std::string> foreign;
  more = 0;
  std::error_code ec;
  fs::directory_iterator it(mirror, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    const std::string name = Utf8FromPath(it->path().filename());
    std::error_code typeError;
    const fs::file_status status = it->symlink_status(typeError);
    const bool ours = !typeError && ((fs::is_regular_file(status) && IsMirrorFileName(name)) ||
                                     (fs::is_directory(status) && IsAnyWorkingFolderName(name)));
    if (ours) continue;
    if (foreign.size() < most) {
      foreign.push_back("'" + ShownName(name) + "'" + (fs::is_directory(status) ? " (a folder)" : ""));
    } else {
      ++more;
    }
  }
  if (ec) foreign.push_back("(the folder cannot be listed: " + ec.message() + ")");
  std::sort(foreign.begin(), foreign.end());
  return foreign;
}

std::string RecoverInterruptedRun(const fs::path& mirror) {
  const fs::path parent = mirror.parent_path();
  const fs::path mirrorName = mirror.filename();
  std::error_code ec;
  std::vector<fs::path> working;
  std::vector<fs::path> asides;
  for (fs::directory_iterator it(parent, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = Utf8FromPath(it->path().filename());
    std::error_code typeError;
    if (!it->is_directory(typeError) || it->is_symlink(typeError)) continue;
    for (const char* what : {"new", "old", "check"}) {
      if (IsWorkingFolderName(name, WorkingFolderStem(mirrorName, what))) {
        working.push_back(it->path());
        if (std::string(what) == "old") asides.push_back(it->path() / "mirror");
      }
    }
  }
  if (working.empty()) return {};
  std::string line;
  if (!fs::exists(fs::symlink_status(mirror, ec))) {
    for (const fs::path& old : asides) {
      if (!fs::is_directory(fs::symlink_status(old, ec))) continue;
      fs::rename(old, mirror, ec);
      if (ec) {
        // Nothing more is touched: the old mirror stays where it is, and is named.
        return "vlrpublish make: the mirror folder " + Utf8FromPath(mirror) +
               " is missing; an interrupted run left the old one in " + Utf8FromPath(old) +
               ", which cannot be put back (" + ec.message() + ")";
      }
      line = "put back the mirror folder an interrupted run had left in " +
             Utf8FromPath(old.parent_path()) + ", and ";
      break;
    }
  }
  std::size_t removed = 0;
  for (const fs::path& folder : working) {
    fs::remove_all(folder, ec);
    if (!ec) ++removed;
  }
  line += "removed " + std::to_string(removed) + " of " + std::to_string(working.size()) +
          " working folder(s) an interrupted run had left beside " + Utf8FromPath(mirror);
  return "vlrpublish make: " + line;
}

std::string RemoveSignLeftovers(const fs::path& mirror) {
  const std::string stem = WorkingFolderStem(vlr::kVersionFileName, "sign");
  std::error_code ec;
  std::vector<fs::path> working;
  for (fs::directory_iterator it(mirror, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    if (it->is_directory(typeError) && !it->is_symlink(typeError) &&
        IsWorkingFolderName(Utf8FromPath(it->path().filename()), stem))
      working.push_back(it->path());
  }
  if (working.empty()) return {};
  std::size_t removed = 0;
  for (const fs::path& folder : working) {
    fs::remove_all(folder, ec);
    if (!ec) ++removed;
  }
  return "vlrpublish sign: removed " + std::to_string(removed) + " of " +
         std::to_string(working.size()) + " working folder(s) an interrupted run had left in " +
         Utf8FromPath(mirror);
}

}  // namespace vlrpub
