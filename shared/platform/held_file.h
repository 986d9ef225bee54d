// A downloaded file held open from its check to its use, so that what was checked is
// what is used.
#pragma once

#include <memory>
#include <streambuf>
#include <string>

#include "platform/plain_file.h"

namespace platform {

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
