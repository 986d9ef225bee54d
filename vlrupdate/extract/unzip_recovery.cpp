#include "extract/unzip_recovery.h"

#include <optional>

#include "extract/unzip_library.h"
#include "platform/text.h"
#include "unzip32/unzip32.h"

namespace vlr {

int RecoverUnzipFolder(const std::wstring& folder) noexcept {
  try {
    const std::optional<std::string> ansi = platform::ToAnsiPath(folder);
    if (!ansi) return -1;
    auto recover = reinterpret_cast<UzpRecoverFolderFn>(UnzipLibraryEntry("UzpRecoverFolder"));
    return recover(ansi->c_str());
  } catch (...) {
    return -1;  // no library, or one from before the export
  }
}

}  // namespace vlr
