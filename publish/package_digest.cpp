#include "publish/package_digest.h"

#include <fstream>

#include "platform/held_file.h"
#include "signature/file_signature.h"

namespace vlrpub {

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

std::string Sha256Hex(const std::filesystem::path& file) {
  StreamFile stream(file);
  return stream.is_open() ? vlr::Sha256Hex(stream) : std::string();
}

}  // namespace vlrpub
