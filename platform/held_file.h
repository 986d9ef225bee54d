// A downloaded file held open from its check to its use, so that what was checked is
// what is used.
#pragma once

#include <cstddef>
#include <memory>
#include <streambuf>
#include <string>

namespace platform {

// An open file read from its first byte. On Windows nobody may write, rename, replace
// or delete it while it is held: it is shared for reading only, so that the
// extraction library can still open it to read. On Linux the run's private folder
// keeps other users from it.
class HeldFile {
 public:
  virtual ~HeldFile() = default;

  // Reads up to `size` bytes at the current position into `buffer`; *got 0 at the
  // end. False when the read failed.
  virtual bool Read(void* buffer, std::size_t size, std::size_t* got) = 0;

  // Goes back to the first byte; false when it cannot.
  virtual bool Rewind() = 0;
};

// Opens the file at `path` and holds it; null when it cannot be opened (missing, in
// use for writing, a link on Linux). The file is let go when the object goes.
std::unique_ptr<HeldFile> HoldFile(const std::wstring& path);

// A held file read as a stream, from where it stands; a failed read ends the stream.
class HeldFileBuffer : public std::streambuf {
 public:
  explicit HeldFileBuffer(HeldFile& file) : file_(file) {}

 protected:
  int_type underflow() override;

 private:
  HeldFile& file_;
  char buffer_[4096];
};

}  // namespace platform
