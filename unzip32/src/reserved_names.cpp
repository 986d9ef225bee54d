#include "reserved_names.h"

#include <algorithm>
#include <string>

#include "name_safety.h"
#include "os/platform_text.h"

namespace uz32 {
namespace {

constexpr size_t kLongestName = 255;  // NTFS and ext4 alike

// After the prefix: "<digits>-<digits>", then what follows (the rest of the stem).
// Nothing when the stem does not start that way.
std::optional<NativeString> AfterNumbers(const NativeString& stem) {
  const NativeString digits = NativeFromAscii("0123456789");
  const size_t first = std::min(stem.find_first_not_of(digits), stem.size());
  if (first == 0 || first == stem.size() || stem[first] != '-') return std::nullopt;
  const size_t second = std::min(stem.find_first_not_of(digits, first + 1), stem.size());
  if (second == first + 1) return std::nullopt;
  return stem.substr(second);
}

NativeString Numbered(unsigned long counter) {
  return NativeFromAscii(std::string(kReservedPrefixAscii) + std::to_string(CurrentProcessId()) +
                         "-" + std::to_string(counter));
}

}  // namespace

ReservedKind KindOf(const NativeString& name) {
  const NativeString prefix = NativeFromAscii(kReservedPrefixAscii);
  if (name.size() <= prefix.size() + 4 || !name.starts_with(prefix)) return ReservedKind::None;
  if (name.ends_with(NativeFromAscii(".tmp"))) return ReservedKind::Staged;
  if (name.ends_with(NativeFromAscii(".old"))) return ReservedKind::Aside;
  return ReservedKind::None;
}

bool IsStagedName(const NativeString& name) {
  if (KindOf(name) != ReservedKind::Staged) return false;
  const size_t prefix = kReservedPrefixAscii.size();
  const std::optional<NativeString> rest = AfterNumbers(name.substr(prefix, name.size() - prefix - 4));
  return rest && rest->empty();
}

NativeString StagedName(unsigned long counter) { return Numbered(counter) + NativeFromAscii(".tmp"); }

NativeString AsideName(unsigned long counter, const NativeString& target) {
  const NativeString plain = Numbered(counter) + NativeFromAscii(".old");
  const bool inSubfolder = target.find_first_of(NativeFromAscii("/\\")) != NativeString::npos;
  if (inSubfolder || target.empty() || plain.size() + 1 + target.size() > kLongestName) {
    return plain;
  }
  return Numbered(counter) + NativeFromAscii("-") + target + NativeFromAscii(".old");
}

std::optional<NativeString> AsideTarget(const NativeString& name) {
  if (KindOf(name) != ReservedKind::Aside) return std::nullopt;
  const size_t prefix = kReservedPrefixAscii.size();
  const NativeString stem = name.substr(prefix, name.size() - prefix - 4);
  const std::optional<NativeString> rest = AfterNumbers(stem);
  if (!rest || rest->size() < 2 || (*rest)[0] != '-') return std::nullopt;
  NativeString target = rest->substr(1);
  // Never a way out of the folder, nor onto one of the library's own names.
  if (target == NativeFromAscii(".") || target == NativeFromAscii("..") ||
      target.find_first_of(NativeFromAscii("/\\:")) != NativeString::npos ||
      target.starts_with(NativeFromAscii(kReservedPrefixAscii))) {
    return std::nullopt;
  }
  return target;
}

Status FindAsidePath(FileSystem& fs, const NativeString& folder, const NativeString& target,
                     unsigned long& counter, NativeString& path) {
  const NativeString targetPath = JoinPath(folder, target);
  for (int tries = 0;; ++tries) {
    NativeString candidate = JoinPath(folder, AsideName(counter++, target));
    const PathType type = tries < kReservedNameTries ? fs.TypeOf(candidate) : PathType::Other;
    if (type == PathType::Missing) {
      path = std::move(candidate);
      return Status::Ok();
    }
    if (type == PathType::Other) {
      return Status::Fail(UNZIP_ERR_DISK_FULL, "cannot replace " + Utf8FromNative(targetPath) +
                                                   ": no name to set the old file aside");
    }
  }
}

}  // namespace uz32
