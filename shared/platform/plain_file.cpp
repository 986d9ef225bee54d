#include "platform/plain_file.h"

#include <array>
#include <cstring>

#include "platform/text.h"

namespace platform {

namespace {

// Small writes (a download's 256-byte chunks) gather in a buffer, so that each does
// not cost a system call.
class BufferedFile final : public PlainFile {
 public:
  explicit BufferedFile(std::unique_ptr<PlainFile> file) : file_(std::move(file)) {}
  ~BufferedFile() override { Close(); }

  bool Read(void* buffer, std::size_t size, std::size_t& got) override {
    return Flush() && file_->Read(buffer, size, got);
  }

  bool Write(const void* data, std::size_t size) override {
    if (!file_ || failed_) return false;
    if (used_ + size > buffer_.size() && !Flush()) return false;
    if (size >= buffer_.size()) return Put(data, size);
    std::memcpy(buffer_.data() + used_, data, size);
    used_ += size;
    return true;
  }

  bool Seek(std::uint64_t offset) override { return Flush() && file_->Seek(offset); }

  bool Close() override {
    if (!file_) return true;
    const bool flushed = Flush();
    const bool closed = file_->Close();
    error_ = file_->Error();
    file_.reset();
    return flushed && closed;
  }

  unsigned long Error() const override { return file_ ? file_->Error() : error_; }

 private:
  bool Flush() {
    const bool good = file_ && !failed_ && Put(buffer_.data(), used_);
    used_ = 0;
    return good;
  }

  bool Put(const void* data, std::size_t size) {
    if (!file_->Write(data, size)) failed_ = true;
    return !failed_;
  }

  std::unique_ptr<PlainFile> file_;
  std::array<char, 64 * 1024> buffer_{};
  std::size_t used_ = 0;
  bool failed_ = false;
  unsigned long error_ = 0;
};

}  // namespace

bool ReadWholeFile(const std::filesystem::path& path, std::string& bytes, unsigned long& error) {
  std::unique_ptr<PlainFile> file = OpenPlainFile(path, PlainFile::Mode::kRead, error);
  if (!file) return false;
  bytes.clear();
  char buffer[64 * 1024];
  for (std::size_t got = 0;; bytes.append(buffer, got)) {
    if (!file->Read(buffer, sizeof buffer, got)) {
      error = file->Error();
      return false;
    }
    if (got == 0) return true;
  }
}

bool WriteWholeFile(const std::filesystem::path& path, std::string_view bytes,
                    unsigned long& error) {
  std::unique_ptr<PlainFile> file = OpenPlainFile(path, PlainFile::Mode::kCreate, error);
  if (!file) return false;
  if (!file->Write(bytes.data(), bytes.size()) || !file->Close()) {
    error = file->Error();
    return false;
  }
  return true;
}

std::unique_ptr<PlainFile> CreateLocalFile(const std::filesystem::path& path) {
  unsigned long ignored = 0;
  std::unique_ptr<PlainFile> file = OpenPlainFile(path, PlainFile::Mode::kCreateNew, ignored);
  if (!file) return nullptr;
  return std::make_unique<BufferedFile>(std::move(file));
}

std::unique_ptr<PlainFile> HoldFile(const std::wstring& path) {
  unsigned long ignored = 0;
  return OpenPlainFile(ToPath(path), PlainFile::Mode::kHold, ignored);
}

HeldFileBuffer::int_type HeldFileBuffer::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  std::size_t got = 0;
  if (!file_.Read(buffer_, sizeof buffer_, got) || got == 0) return traits_type::eof();
  setg(buffer_, buffer_, buffer_ + got);
  return traits_type::to_int_type(*gptr());
}

}  // namespace platform
