#include "platform/file_replacement.h"

namespace platform {

void TakeAccessOf(const std::filesystem::path&, const std::filesystem::path&) {}

// MoveFileEx cannot swap two folders: the caller renames them one at a time.
bool ExchangeFolders(const std::filesystem::path&, const std::filesystem::path&,
                     bool& unsupported, std::error_code&) {
  unsupported = true;
  return false;
}

}  // namespace platform
