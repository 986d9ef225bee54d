#include "publish/folder_swap.h"

#include "publish/utf8_path.h"

namespace vlrpub {

namespace fs = std::filesystem;

std::string PutInPlace(ScratchFolder& built, const fs::path& mirror, bool replace) {
  std::error_code ec;
  if (!replace) {
    fs::rename(built.path(), mirror, ec);
    if (ec) return "cannot rename the new mirror into place: " + ec.message();
    built.Keep();
    return {};
  }
  ScratchFolder aside(mirror.parent_path(), ".vlrpublish-old");
  if (!aside.error().empty()) return aside.error();
  const fs::path old = aside.path() / "mirror";
  fs::rename(mirror, old, ec);
  if (ec) return "cannot move the existing mirror folder aside: " + ec.message();
  fs::rename(built.path(), mirror, ec);
  if (ec) {
    std::error_code back;
    fs::rename(old, mirror, back);
    if (back) {
      aside.Keep();
      return "cannot rename the new mirror into place (" + ec.message() +
             "), and the old one could not be put back: it is in " + Utf8FromPath(old);
    }
    return "cannot rename the new mirror into place: " + ec.message();
  }
  built.Keep();
  return {};  // aside goes with the old mirror in it
}

}  // namespace vlrpub
