#include "platform/local_file.h"

#include <array>
#include <cstring>

#include "platform/plain_file.h"

namespace platform {

namespace {

// Small writes (a download's 256-byte chunks) gather in a buffer, so that each does
// not cost a system call.
class BufferedFile final : public LocalFile {
 public:
  explicit BufferedFile(std::unique_ptr<PlainFile> file) : file_(std::move(file)) {}
  ~BufferedFile() override { Close(); }

  bool Write(const char* data, std::size_t size) override {
    if (!file_ || failed_) return false;
    if (used_ + size > buffer_.size() && !Flush()) return false;
    if (size >= buffer_.size()) return Put(data, size);
    std::memcpy(buffer_.data() + used_, data, size);
    used_ += size;
    return true;
  }

  bool Close() override {
    if (!file_) return true;
    const bool flushed = Flush();
    const bool closed = file_->Close();
    file_.reset();
    return flushed && closed;
  }

 private:
  bool Flush() {
    const bool good = !failed_ && Put(buffer_.data(), used_);
    used_ = 0;
    return good;
  }

  bool Put(const char* data, std::size_t size) {
    if (!file_->Write(data, size)) failed_ = true;
    return !failed_;
  }

  std::unique_ptr<PlainFile> file_;
  std::array<char, 64 * 1024> buffer_{};
  std::size_t used_ = 0;
  bool failed_ = false;
};

}  // namespace

std::unique_ptr<LocalFile> CreateLocalFile(const std::filesystem::path& path) {
  unsigned long ignored = 0;
  std::unique_ptr<PlainFile> file = OpenPlainFile(path, PlainFile::Mode::kCreateNew, ignored);
  if (!file) return nullptr;
  return std::make_unique<BufferedFile>(std::move(file));
}

}  // namespace platform
