#include "download/local_file.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "platform/services.h"
#include "platform/text.h"

namespace vlr {

namespace {

class DiskFile final : public LocalFile {
 public:
  bool Open(const std::filesystem::path& path) {
    // A larger buffer than the default keeps the 256-byte chunks from each costing
    // a system call.
    out_.rdbuf()->pubsetbuf(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    out_.open(path, std::ios::out | std::ios::binary | std::ios::trunc);
    return out_.is_open();
  }

  ~DiskFile() override { Close(); }

  bool Write(const char* data, std::size_t size) override {
    if (!out_.is_open()) return false;
    out_.write(data, static_cast<std::streamsize>(size));
    return !out_.fail();
  }

  bool Close() override {
    if (!out_.is_open()) return true;
    bool good = !out_.fail();
    out_.close();
    return good && !out_.fail();
  }

 private:
  std::array<char, 64 * 1024> buffer_{};
  std::ofstream out_;
};

class DiskFiles final : public LocalFiles {
 public:
  void Delete(const std::wstring& path) noexcept override {
    try {
      std::error_code ec;
      std::filesystem::path p = platform::ToPath(path);
      std::filesystem::file_status status = std::filesystem::symlink_status(p, ec);
      if (ec || status.type() == std::filesystem::file_type::directory) return;
      std::filesystem::remove(p, ec);
    } catch (...) {
      // Ignored by contract: the caller goes on whether or not the file went.
    }
  }

  std::unique_ptr<LocalFile> Create(const std::wstring& path) override {
    auto file = std::make_unique<DiskFile>();
    if (!file->Open(platform::ToPath(path))) return nullptr;
    return file;
  }
};

}  // namespace

}  // namespace vlr

namespace platform {

template <>
vlr::LocalFiles& DefaultService<vlr::LocalFiles>() {
  static vlr::DiskFiles files;
  return files;
}

}  // namespace platform
