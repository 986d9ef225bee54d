#include <sys/stat.h>

#include "platform/file_node.h"

namespace platform {

std::optional<FileNode> NodeOf(const std::filesystem::path& path) {
  struct stat s {};
  if (stat(path.c_str(), &s) != 0) return std::nullopt;
  return FileNode{static_cast<std::uint64_t>(s.st_dev), static_cast<std::uint64_t>(s.st_ino)};
}

}  // namespace platform
