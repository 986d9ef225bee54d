#include "mirror/package_digest.h"

#include <fstream>
#include <optional>

#include "platform/signature.h"

namespace vlr {

namespace {

// The file read through a stream opened by its native path, so that any name the
// folder scan gave opens (on Linux a name need not be UTF-8).
class StreamFile final : public platform::HeldFile {
 public:
  explicit StreamFile(const std::filesystem::path& file) : in_(file, std::ios::binary) {}
  bool is_open() const { return in_.is_open(); }

  bool Read(void* buffer, std::size_t size, std::size_t* got) override {
    in_.read(static_cast<char*>(buffer), static_cast<std::streamsize>(size));
    *got = static_cast<std::size_t>(in_.gcount());
    return !in_.bad();
  }

  bool Rewind() override {
    in_.clear();
    in_.seekg(0);
    return !in_.fail();
  }

 private:
  std::ifstream in_;
};

}  // namespace

std::string Sha256Hex(platform::HeldFile& file) {
  if (!file.Rewind()) return {};
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
  StreamFile stream(path);
  return stream.is_open() ? Sha256Hex(stream) : std::string();
}

}  // namespace vlr
