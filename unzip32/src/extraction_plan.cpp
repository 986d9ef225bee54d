#include "extraction_plan.h"

#include <algorithm>
#include <map>

#include "member_kind.h"
#include "member_path.h"
#include "name_safety.h"
#include "name_text.h"
#include "os/platform_text.h"

namespace uz32 {
namespace {

Status Refused(const std::string& what) { return Status::Fail(UNZIP_ERR_FORMAT, what); }

// Paths below the extraction folder when stored folders are recreated. Each folder gets
// one spelling, the first met: a later member whose folder differs only in case goes
// into the same folder (Windows could not keep two apart anyway).
class FolderLayout {
 public:
  struct Placed {
    NativeString path;  // relative, native separators
    std::string utf8;   // relative, '/' separators
    NativeString key;   // case-folded, for comparisons
    const ZipEntry* by = nullptr;
  };

  // Places the first count components as folders (recording new ones in plan) and
  // returns the innermost; the empty Placed (the extraction folder) when count is 0.
  Placed PlaceFolders(const MemberPath& path, size_t count, const ZipEntry& e, Plan& plan) {
    Placed at;
    for (size_t i = 0; i < count; ++i) {
      at = Child(at, path.components[i], e);
      const auto [it, fresh] = folders_.emplace(at.key, at);
      if (fresh) {
        plan.folderPaths.push_back(at.path);
      } else {
        at = it->second;
      }
    }
    return at;
  }

  static Placed Child(const Placed& parent, std::u32string_view name, const ZipEntry& e) {
    const NativeString native = NativeFromUnicode(name);
    Placed c;
    c.path = parent.path.empty() ? native : parent.path + kNativeSeparators[0] + native;
    c.utf8 = parent.utf8.empty() ? ToUtf8(name) : parent.utf8 + "/" + ToUtf8(name);
    c.key = parent.key + kNativeSeparators[0] + FileNameKey(native);
    c.by = &e;
    return c;
  }

  // The member that first needed key as a folder, or null.
  const ZipEntry* FolderOwner(const NativeString& key) const {
    const auto it = folders_.find(key);
    return it == folders_.end() ? nullptr : it->second.by;
  }

 private:
  std::map<NativeString, Placed> folders_;
};

// Splits e's name for recreated folders; on refusal returns the failure to report.
Status SplitForFolders(const ZipEntry& e, std::u32string_view name, bool mustName,
                       const PlanRules& rules, MemberPath& path) {
  if (const std::string why = SplitMemberPath(name, mustName, path); !why.empty()) {
    return Refused("refusing member '" + DisplayName(e) + "': the name " + why);
  }
  if (rules.spaceToUnderscore) {
    for (std::u32string& component : path.components) std::ranges::replace(component, U' ', U'_');
  }
  return Status::Ok();
}

void WarnIfMadeRelative(const ZipEntry& e, const MemberPath& path, const std::string& written,
                        Plan& plan) {
  if (path.dropped.empty() || path.components.empty()) return;
  plan.warnings.push_back("warning: member '" + DisplayName(e) + "' is written as " + written +
                          " (the leading '" + ToUtf8(path.dropped) + "' is dropped)");
}

// Members' bytes must not overlap (one stretch of data serving several members is how
// small archives expand into huge outputs), and a data descriptor must fit between its
// member and the next.
Status CheckLayout(ByteSource& src, const Archive& archive, const Plan& plan) {
  std::vector<const PlannedMember*> byOffset;
  byOffset.reserve(plan.files.size());
  for (const PlannedMember& m : plan.files) byOffset.push_back(&m);
  std::sort(byOffset.begin(), byOffset.end(), [](const auto* a, const auto* b) {
    return a->span.headerOffset < b->span.headerOffset;
  });
  for (size_t i = 0; i < byOffset.size(); ++i) {
    const PlannedMember& m = *byOffset[i];
    const uint64_t next = i + 1 < byOffset.size() ? byOffset[i + 1]->span.headerOffset
                                                  : archive.location.directoryOffset;
    if (m.span.dataEnd > next) {
      return Refused(DisplayName(*m.entry) + ": its data overlaps another member");
    }
    if (Status s = CheckDataDescriptor(src, *m.entry, m.span, next); !s.ok()) return s;
  }
  return Status::Ok();
}

}  // namespace

Status BuildPlan(ByteSource& src, const Archive& archive, const PlanRules& rules, Plan& out) {
  out = Plan{};
  std::map<NativeString, const ZipEntry*> taken;  // file name key -> member
  FolderLayout layout;
  const bool filtering = rules.filter && !rules.filter->empty();
  std::vector<bool> hits = filtering ? rules.filter->NewHits() : std::vector<bool>{};
  for (const ZipEntry& e : archive.entries) {
    const MemberKind kind = ClassifyEntry(e);
    if (kind == MemberKind::Folder && !rules.recreateFolders) {
      ++out.folders;
      continue;
    }
    // A name that is not valid UTF-8 is refused below if it is selected.
    if (filtering && !rules.filter->Selects(LenientName(e), hits)) continue;
    if (kind == MemberKind::Folder) {
      ++out.folders;
      const std::optional<std::u32string> name = DecodeEntryName(e);
      if (!name) return Refused(DisplayName(e) + ": the name is not valid UTF-8");
      MemberPath path;
      if (Status s = SplitForFolders(e, *name, false, rules, path); !s.ok()) return s;
      const auto placed = layout.PlaceFolders(path, path.components.size(), e, out);
      WarnIfMadeRelative(e, path, placed.utf8 + "/", out);
      continue;
    }
    if (kind == MemberKind::Link) {
      return Status::Fail(UNZIP_ERR_UNSUPPORTED,
                          DisplayName(e) + ": symbolic links are not extracted");
    }
    if (Status s = CheckDecodable(e); !s.ok()) return s;

    const std::optional<std::u32string> name = DecodeEntryName(e);
    if (!name) return Refused(DisplayName(e) + ": the name is not valid UTF-8");
    PlannedMember m;
    m.entry = &e;
    m.storedName = ToUtf8(*name);
    NativeString key;
    if (rules.recreateFolders) {
      MemberPath path;
      if (Status s = SplitForFolders(e, *name, true, rules, path); !s.ok()) return s;
      const auto parent = layout.PlaceFolders(path, path.components.size() - 1, e, out);
      const auto placed = FolderLayout::Child(parent, path.components.back(), e);
      m.fileName = placed.path;
      m.fileNameUtf8 = placed.utf8;
      key = placed.key;
      WarnIfMadeRelative(e, path, placed.utf8, out);
    } else {
      std::u32string component(LastComponent(*name));
      if (const std::string why = RefusalReason(component); !why.empty()) {
        return Refused("refusing member '" + DisplayName(e) + "': the name " + why);
      }
      if (rules.spaceToUnderscore) std::ranges::replace(component, U' ', U'_');
      m.fileName = NativeFromUnicode(component);
      m.fileNameUtf8 = ToUtf8(component);
      key = FileNameKey(m.fileName);
    }
    const auto [it, fresh] = taken.emplace(key, &e);
    if (!fresh) {
      return Refused("members '" + DisplayName(*it->second) + "' and '" + DisplayName(e) +
                     "' would both be written as " + m.fileNameUtf8);
    }
    if (Status s = LocateMemberData(src, e, archive.location.prefix,
                                    archive.location.directoryOffset, m.span);
        !s.ok()) {
      return s;
    }
    out.files.push_back(std::move(m));
  }
  if (filtering) {
    if (const std::string unmatched = rules.filter->Unmatched(hits); !unmatched.empty()) {
      return Status::Fail(UNZIP_ERR_NO_MEMBERS, "no member matches " + unmatched);
    }
  }
  for (const auto& [key, file] : taken) {
    if (const ZipEntry* folder = layout.FolderOwner(key)) {
      return Refused("member '" + DisplayName(*file) + "' would be a file where member '" +
                     DisplayName(*folder) + "' needs a folder");
    }
  }
  if (out.files.empty() && out.folderPaths.empty()) {
    return Status::Fail(UNZIP_ERR_NO_MEMBERS, "the archive holds no file to extract");
  }
  return CheckLayout(src, archive, out);
}

}  // namespace uz32
