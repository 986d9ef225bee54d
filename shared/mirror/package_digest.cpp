#include "mirror/package_digest.h"

#include <optional>

#include "platform/signature.h"

namespace vlr {

std::string Sha256Hex(platform::PlainFile& file) {
  if (!file.Seek(0)) return {};
  std::optional<platform::Sha256Digest> digest = platform::Sha256Of(file);
  if (!digest) return {};
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (std::uint8_t b : *digest) {
    hex += kHex[b >> 4];
    hex += kHex[b & 15];
  }
  return hex;
}

std::string Sha256Hex(const std::filesystem::path& path) {
  unsigned long ignored = 0;
  const std::unique_ptr<platform::PlainFile> file =
      platform::OpenPlainFile(path, platform::PlainFile::Mode::kRead, ignored);
  return file ? Sha256Hex(*file) : std::string();
}

}  // namespace vlr
