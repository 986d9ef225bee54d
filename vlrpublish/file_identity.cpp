#include "vlrpublish/file_identity.h"

#include <algorithm>
#include <vector>

#include "platform/file_node.h"

namespace vlrpub {

namespace fs = std::filesystem;

namespace {

// The identities of path (when it exists) and of every existing folder above it.
std::vector<platform::FileNode> IdentityChain(const fs::path& path) {
  std::error_code ec;
  fs::path p = fs::absolute(path, ec).lexically_normal();
  if (ec) p = path;
  // The real parents, not the spelt ones, when a link leads there.
  if (const fs::path resolved = fs::weakly_canonical(p, ec); !ec) p = resolved;
  std::vector<platform::FileNode> chain;
  while (true) {
    if (const auto id = platform::NodeOf(p)) chain.push_back(*id);
    const fs::path up = p.parent_path();
    if (up.empty() || up == p) break;
    p = up;
  }
  return chain;
}

bool Holds(const std::vector<platform::FileNode>& chain, const fs::path& folder) {
  const auto id = platform::NodeOf(folder);
  return id && std::find(chain.begin(), chain.end(), *id) != chain.end();
}

}  // namespace

bool FoldersOverlap(const fs::path& a, const fs::path& b) {
  return Holds(IdentityChain(a), b) || Holds(IdentityChain(b), a);
}

}  // namespace vlrpub
