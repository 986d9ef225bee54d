#include "alias_check.h"

#include "platform/platform_text.h"

namespace uz32 {

namespace {

// The last component of a relative path (folders recreated), either separator.
NativeString LastOf(const NativeString& path) {
#ifdef _WIN32
  const size_t cut = path.find_last_of(L"\\/");
#else
  const size_t cut = path.find_last_of('/');
#endif
  return cut == NativeString::npos ? path : path.substr(cut + 1);
}

}  // namespace

Status RefuseAliasedFiles(FileSystem& fs, const NativeString& folder, const Plan& plan) {
  for (const PlannedMember& m : plan.files) {
    const NativeString target = JoinPath(folder, m.fileName);
    if (fs.TypeOf(target) != PathType::File) continue;
    const std::optional<NativeString> listed = fs.ListedName(target);
    if (!listed || FileNameKey(*listed) == FileNameKey(LastOf(m.fileName))) continue;
    return Status::Fail(UNZIP_ERR_FORMAT,
                        "refusing member '" + m.storedName + "': the name reaches the existing " +
                            "file " + Utf8FromNative(*listed) +
                            " under another name (a short name), which would lose it");
  }
  return Status::Ok();
}

}  // namespace uz32
