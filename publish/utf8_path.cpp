#include "publish/utf8_path.h"

#include "mirror/mirror_rules.h"

namespace vlrpub {

std::filesystem::path PathFromUtf8(const std::string& text) {
#ifdef _WIN32
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
#else
  return std::filesystem::path(text);
#endif
}

std::string Utf8FromPath(const std::filesystem::path& path) {
#ifdef _WIN32
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
#else
  return path.string();
#endif
}

std::filesystem::path SignaturePath(const std::filesystem::path& file) {
  return file.parent_path() / PathFromUtf8(vlr::SignatureName(Utf8FromPath(file.filename())));
}

}  // namespace vlrpub
