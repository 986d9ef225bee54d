// Paths alike on both systems but for their separators (kNativeSeparators).
#include "os/platform_text.h"

namespace uz32 {

NativeString JoinPath(const NativeString& folder, const NativeString& name) {
  if (folder.empty() || kNativeSeparators.find(folder.back()) != kNativeSeparators.npos) {
    return folder + name;
  }
  return folder + kNativeSeparators[0] + name;
}

std::vector<NativeString> PathComponents(const NativeString& relative) {
  std::vector<NativeString> parts;
  size_t start = 0;
  for (;;) {
    const size_t cut = relative.find_first_of(kNativeSeparators, start);
    if (cut != start && start < relative.size()) parts.push_back(relative.substr(start, cut - start));
    if (cut == NativeString::npos) return parts;
    start = cut + 1;
  }
}

}  // namespace uz32
