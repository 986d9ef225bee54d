// The local file a download writes, behind a small service so that a test can
// stand in for the disk (a write that fails, a transfer too large to store).
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "platform/services.h"

namespace vlr {

// One local file open for writing raw bytes from its first byte. Writes may be
// buffered; the destructor closes the file if Close was not called (errors ignored).
class LocalFile {
 public:
  virtual ~LocalFile() = default;

  // Appends `size` bytes. False when they could not be written; the file then holds
  // an unknown part of them.
  virtual bool Write(const char* data, std::size_t size) = 0;

  // Writes out what is buffered and closes the file. False when some data could not
  // be written; the file is closed all the same. Later calls do nothing.
  virtual bool Close() = 0;
};

class LocalFiles {
 public:
  virtual ~LocalFiles() = default;

  // Deletes the file at `path` if there is one. A folder is never deleted; every
  // failure (no such file, file in use, bad path) is ignored.
  virtual void Delete(const std::wstring& path) noexcept = 0;

  // Creates the file at `path` and opens it for writing; null when it cannot be
  // created or opened. On Windows a file that exists is emptied; on Linux the name
  // must be free (the caller deletes first), so a file or link that someone put there
  // is never written through.
  virtual std::unique_ptr<LocalFile> Create(const std::wstring& path) = 0;
};

}  // namespace vlr

namespace platform {

// The disk itself.
template <>
vlr::LocalFiles& DefaultService<vlr::LocalFiles>();

}  // namespace platform
