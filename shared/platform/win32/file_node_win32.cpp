#include <windows.h>

#include "platform/file_node.h"
#include "platform/win32/kernel_handles.h"

namespace platform {

std::optional<FileNode> NodeOf(const std::filesystem::path& path) {
  // Backup semantics: the only way to open a folder; no access asked, so no sharing
  // conflict with anyone.
  const win32::UniqueFile h(
      CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!h) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(h.get(), &info)) return std::nullopt;
  return FileNode{info.dwVolumeSerialNumber,
                      (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

}  // namespace platform
