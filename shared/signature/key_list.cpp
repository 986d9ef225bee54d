#include "signature/key_list.h"

#include "signature/package_key.h"

namespace vlr {

std::string KeyListProblem(const std::vector<NamedKey>& keys) {
  if (keys.size() > kMaxPackageKeys) {
    return std::to_string(keys.size()) + " keys given; a build trusts one to " +
           std::to_string(kMaxPackageKeys);
  }
  // The same key twice is no second key: a backup that is not one.
  for (std::size_t i = 0; i < keys.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      if (keys[i].point == keys[j].point) {
        return keys[i].name + " is the same key as " + keys[j].name +
               "; each key must be another one";
      }
    }
  }
  return {};
}

}  // namespace vlr
