// A new local file open for writing, in the system's own file code.
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>

namespace platform {

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

// Creates the file at `path` and opens it for writing; null when it cannot be created
// or opened. On Windows a file that exists is emptied; on Linux the name must be free
// (the caller deletes first), so a file or link that someone put there is never
// written through.
std::unique_ptr<LocalFile> CreateLocalFile(const std::filesystem::path& path);

// Writes the content of the closed file at `path`, or the names in the folder at
// `path`, through to the disk, so that they outlast a power cut; false when it could
// not. (A Windows folder needs nothing: NTFS logs its own names.)
bool FlushToDisk(const std::filesystem::path& path);

// Puts the file `from` in the place of `to` in one step, replacing a file there; false
// when it could not (both files are then as they were).
bool MoveIntoPlace(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace platform
