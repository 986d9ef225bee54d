#include "alias_check.h"

#include "os/platform_text.h"

namespace uz32 {

Status RefuseAliasedFiles(FileSystem& fs, const NativeString& folder, const Plan& plan) {
  for (const PlannedMember& m : plan.files) {
    const NativeString target = JoinPath(folder, m.fileName);
    if (fs.TypeOf(target) != PathType::File) continue;
    const std::optional<NativeString> listed = fs.ListedName(target);
    if (!listed || FileNameKey(*listed) == FileNameKey(PathComponents(m.fileName).back())) continue;
    return Status::Fail(UNZIP_ERR_FORMAT,
                        "refusing member '" + m.storedName + "': the name reaches the existing " +
                            "file " + Utf8FromNative(*listed) +
                            " under another name (a short name), which would lose it");
  }
  return Status::Ok();
}

}  // namespace uz32
