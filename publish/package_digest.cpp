#include "publish/package_digest.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include <optional>

#include "platform/signature.h"
#include "platform/text.h"
#include "platform/unique_handle.h"
#include "publish/utf8_path.h"

namespace vlrpub {

namespace {

#ifndef _WIN32
struct NoDescriptor {
  static constexpr int Value() { return -1; }
};
using Descriptor = platform::UniqueHandle<int, platform::CloseWith<::close>, NoDescriptor>;
#endif

std::optional<std::array<std::uint8_t, 32>> DigestOf(const std::filesystem::path& file) {
#ifdef _WIN32
  return platform::Sha256OfFile(file.wstring());
#else
  // The system layer names files by wide text, which holds a name exactly only when its
  // bytes are UTF-8; a name of other bytes is opened by its bytes and read through the
  // descriptor's name.
  const std::wstring wide = platform::FromUtf8(file.string());
  if (platform::ToUtf8(wide) == file.string()) return platform::Sha256OfFile(wide);
  const Descriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return std::nullopt;
  return platform::Sha256OfFile(L"/proc/self/fd/" + std::to_wstring(fd.get()));
#endif
}

}  // namespace

std::string Sha256Hex(const std::filesystem::path& file) {
  const auto digest = DigestOf(file);
  if (!digest) return {};
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (const std::uint8_t b : *digest) {
    hex += kHex[b >> 4];
    hex += kHex[b & 0x0F];
  }
  return hex;
}

}  // namespace vlrpub
