#include "extraction_plan.h"

#include <algorithm>
#include <map>

#include "member_kind.h"
#include "name_safety.h"
#include "name_text.h"
#include "platform/platform_text.h"

namespace uz32 {
namespace {

Status Refused(const std::string& what) { return Status::Fail(UNZIP_ERR_FORMAT, what); }

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

Status BuildPlan(ByteSource& src, const Archive& archive, Plan& out) {
  out = Plan{};
  std::map<NativeString, const ZipEntry*> taken;  // file name key -> member
  for (const ZipEntry& e : archive.entries) {
    const MemberKind kind = ClassifyEntry(e);
    if (kind == MemberKind::Folder) {
      ++out.folders;
      continue;
    }
    if (kind == MemberKind::Link) {
      return Status::Fail(UNZIP_ERR_UNSUPPORTED,
                          DisplayName(e) + ": symbolic links are not extracted");
    }
    if (Status s = CheckDecodable(e); !s.ok()) return s;

    const std::optional<std::u32string> name = DecodeEntryName(e);
    if (!name) return Refused(DisplayName(e) + ": the name is not valid UTF-8");
    const std::u32string_view component = LastComponent(*name);
    if (const std::string why = RefusalReason(component); !why.empty()) {
      return Refused("refusing member '" + DisplayName(e) + "': the name " + why);
    }
    PlannedMember m;
    m.entry = &e;
    m.storedName = ToUtf8(*name);
    m.fileName = NativeFromUnicode(component);
    m.fileNameUtf8 = ToUtf8(component);
    const auto [it, fresh] = taken.emplace(FileNameKey(m.fileName), &e);
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
  if (out.files.empty()) {
    return Status::Fail(UNZIP_ERR_NO_MEMBERS, "the archive holds no file to extract");
  }
  return CheckLayout(src, archive, out);
}

}  // namespace uz32
