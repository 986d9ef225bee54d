// The rules a build applies to its list of package keys (cmake/PackageKey.cmake), for
// tools that take such a list too: one that a build would refuse is refused alike.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vlr {

struct NamedKey {
  std::string name;                  // where the key came from, for messages
  std::vector<std::uint8_t> point;   // its 65-byte point
};

// Empty when a build would take `keys` (one to kMaxPackageKeys, each another key);
// else why not, in the words of the build's refusal.
std::string KeyListProblem(const std::vector<NamedKey>& keys);

}  // namespace vlr
