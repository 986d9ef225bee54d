#include "download/local_file.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <system_error>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

#include "platform/services.h"
#include "platform/text.h"

namespace vlr {

namespace {

#ifdef _WIN32

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

#else

// The file is made anew, never through a link and never over a file someone else
// put there: a name that is taken fails the creation.
class DiskFile final : public LocalFile {
 public:
  bool Open(const std::filesystem::path& path) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    return fd_ >= 0;
  }

  ~DiskFile() override { Close(); }

  bool Write(const char* data, std::size_t size) override {
    if (fd_ < 0 || failed_) return false;
    if (used_ + size > buffer_.size() && !Flush()) return false;
    if (size >= buffer_.size()) return WriteOut(data, size);
    std::memcpy(buffer_.data() + used_, data, size);
    used_ += size;
    return true;
  }

  bool Close() override {
    if (fd_ < 0) return true;
    bool good = Flush();
    if (::close(fd_) != 0) good = false;
    fd_ = -1;
    return good;
  }

 private:
  bool Flush() {
    if (failed_) return false;
    bool good = WriteOut(buffer_.data(), used_);
    used_ = 0;
    return good;
  }

  bool WriteOut(const char* data, std::size_t size) {
    while (size > 0) {
      ssize_t n = ::write(fd_, data, size);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        failed_ = true;
        return false;
      }
      data += n;
      size -= static_cast<std::size_t>(n);
    }
    return true;
  }

  std::array<char, 64 * 1024> buffer_{};
  std::size_t used_ = 0;
  int fd_ = -1;
  bool failed_ = false;
};

#endif

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
