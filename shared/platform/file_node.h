// Which file or folder a path names, by the system's identity of it (device and inode;
// on Windows volume serial number and file ID) rather than by its spelling, which case,
// links, short names and separators can all vary.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace platform {

struct FileNode {
  std::uint64_t volume = 0;
  std::uint64_t file = 0;
  bool operator==(const FileNode&) const = default;
};

// The identity of what path names (links followed); nothing when it does not exist or
// cannot be asked about.
std::optional<FileNode> NodeOf(const std::filesystem::path& path);

}  // namespace platform
