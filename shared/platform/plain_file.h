// The one file class of the program: a file read or written through the system's own
// calls, so that every failure comes with the system's error code (iostreams promise
// none); whole small files read and written that way; a new file written through a
// buffer; a downloaded file held from its check to its use, and read as a stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <streambuf>
#include <string>
#include <string_view>

namespace platform {

class PlainFile {
 public:
  enum class Mode {
    kRead,       // an existing file, for reading (others may still read and write it)
    kHold,       // an existing file, for reading; see HoldFile
    kCreate,     // made anew or emptied, for reading and writing
    kCreateNew,  // made anew for writing, never through a link: on Linux the name must
                 // be free; on Windows a file there is emptied
  };
  virtual ~PlainFile() = default;  // closes it; an error then goes unseen: see Close

  // Reads up to `size` bytes at the current position; `got` 0 at the end.
  virtual bool Read(void* buffer, std::size_t size, std::size_t& got) = 0;
  // Writes all `size` bytes at the current position.
  virtual bool Write(const void* data, std::size_t size) = 0;
  // Moves to `offset` from the file's start.
  virtual bool Seek(std::uint64_t offset) = 0;
  // Closes the file, reporting what the system reports then (a delayed write error).
  virtual bool Close() = 0;
  // The system's error code of the last call that failed.
  virtual unsigned long Error() const = 0;
};

// Opens the file at `path`; null when it cannot, with the system's error code in `error`.
std::unique_ptr<PlainFile> OpenPlainFile(const std::filesystem::path& path, PlainFile::Mode mode,
                                         unsigned long& error);

// The whole file at `path` into `bytes`; false, with the system's error code in
// `error`, when it cannot be read.
bool ReadWholeFile(const std::filesystem::path& path, std::string& bytes, unsigned long& error);

// `bytes` as the whole file at `path` (made anew or emptied); false, with the system's
// error code in `error`, when it cannot be written (the file may then hold part of it).
bool WriteWholeFile(const std::filesystem::path& path, std::string_view bytes,
                    unsigned long& error);

// Creates the file at `path` (kCreateNew) and opens it for writing from its first byte;
// null when it cannot. Small writes gather in a buffer; Close writes it out (its
// result then says whether every byte was written), and the destructor closes the
// file if Close was not called (errors ignored).
std::unique_ptr<PlainFile> CreateLocalFile(const std::filesystem::path& path);

// Opens the file at `path` for reading from its first byte and holds it; null when it
// cannot be opened (missing, in use for writing, a link on Linux). On Windows nobody
// may write, rename, replace or delete it while it is held: it is shared for reading
// only, so that the extraction library can still open it to read. On Linux the run's
// private folder keeps other users from it. The file is let go when the object goes.
std::unique_ptr<PlainFile> HoldFile(const std::wstring& path);

// A file read as a stream, from where it stands; a failed read ends the stream.
class HeldFileBuffer : public std::streambuf {
 public:
  explicit HeldFileBuffer(PlainFile& file) : file_(file) {}

 protected:
  int_type underflow() override;

 private:
  PlainFile& file_;
  char buffer_[4096];
};

}  // namespace platform
