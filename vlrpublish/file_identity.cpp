#include "vlrpublish/file_identity.h"

#include <algorithm>
#include <memory>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace vlrpub {

namespace fs = std::filesystem;

std::optional<FileIdentity> IdentityOf(const fs::path& path) {
#ifdef _WIN32
  // Backup semantics: the only way to open a folder; no access asked, so no sharing
  // conflict with anyone.
  struct Closer {
    void operator()(HANDLE h) const { CloseHandle(h); }
  };
  const HANDLE opened =
      CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return std::nullopt;
  const std::unique_ptr<void, Closer> h(opened);
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(h.get(), &info)) return std::nullopt;
  return FileIdentity{info.dwVolumeSerialNumber,
                      (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
#else
  struct stat s {};
  if (stat(path.c_str(), &s) != 0) return std::nullopt;
  return FileIdentity{static_cast<std::uint64_t>(s.st_dev), static_cast<std::uint64_t>(s.st_ino)};
#endif
}

namespace {

// The identities of path (when it exists) and of every existing folder above it.
std::vector<FileIdentity> IdentityChain(const fs::path& path) {
  std::error_code ec;
  fs::path p = fs::absolute(path, ec).lexically_normal();
  if (ec) p = path;
  // The real parents, not the spelt ones, when a link leads there.
  if (const fs::path resolved = fs::weakly_canonical(p, ec); !ec) p = resolved;
  std::vector<FileIdentity> chain;
  while (true) {
    if (const auto id = IdentityOf(p)) chain.push_back(*id);
    const fs::path up = p.parent_path();
    if (up.empty() || up == p) break;
    p = up;
  }
  return chain;
}

bool Holds(const std::vector<FileIdentity>& chain, const fs::path& folder) {
  const auto id = IdentityOf(folder);
  return id && std::find(chain.begin(), chain.end(), *id) != chain.end();
}

}  // namespace

bool FoldersOverlap(const fs::path& a, const fs::path& b) {
  return Holds(IdentityChain(a), b) || Holds(IdentityChain(b), a);
}

}  // namespace vlrpub
