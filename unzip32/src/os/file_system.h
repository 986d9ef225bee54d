// The boundary to the operating system's files: what the run needs and no more. One
// implementation per platform (win32_file_system.cpp, posix_file_system.cpp); tests
// wrap it to make chosen operations fail.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "byte_source.h"
#include "status.h"

namespace uz32 {

#ifdef _WIN32
using NativeString = std::wstring;  // UTF-16, for the W functions
#else
using NativeString = std::string;  // bytes, UTF-8 by convention
#endif

// The modification time to give an extracted file: UTC seconds when the archive has
// them, else the entry's DOS stamp (local time). A DOS stamp that names no real time
// leaves the file's time as the system set it.
struct FileStamp {
  std::optional<int64_t> unixTime;
  uint16_t dosDate = 0;
  uint16_t dosTime = 0;
};

enum class PathType { Missing, File, Folder, Other };

// A file being written. Destroying it closes the handle but keeps the file. One thread
// at a time uses a file; it may be handed to another between calls.
class OutputFile : public ByteSink {
 public:
  // Appends data. Fails with UNZIP_ERR_DISK_FULL (disk full or any write error).
  Status Write(std::span<const uint8_t> data) override = 0;
  // Sets the modification time, writes the content through to the disk so that it
  // outlasts a power cut, and closes the file. Fails with UNZIP_ERR_DISK_FULL when the
  // flush or the close reports an error (a time that cannot be set is not an error).
  virtual Status Finish(const FileStamp& stamp) = 0;
};

// While it lives, the paths below one folder are confined to it (FileSystem::HoldFolder).
class FolderHold {
 public:
  virtual ~FolderHold() = default;
};

// CreateNew and Remove may be called from several threads at once, each on files of
// its own; the rest from one thread at a time.
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Confines the paths below folder until the hold ends: the folder is opened now (it
  // may itself be reached through a link) and held, and every later step on a path
  // below it (all calls but OpenArchive, IsFolder and FreeSpace) goes down from that
  // handle one folder at a time, refusing a link, junction or file on the way, and acts
  // on the last name relative to the folder that holds it. Each folder below stays
  // held from its first use to the end of the hold: a folder swapped for a link before
  // that fails the step; after, the steps go on in the folder held, wherever it was
  // moved (Windows refuses the move). Nothing is reached through the link. When folder
  // cannot be opened, every such step fails. While one hold lasts, another changes
  // nothing.
  virtual std::unique_ptr<FolderHold> HoldFolder(const NativeString& folder) = 0;
  // Opens a regular file for reading. Fails with UNZIP_ERR_NOT_FOUND.
  virtual Status OpenArchive(const NativeString& path, std::unique_ptr<ByteSource>& out) = 0;
  // Creates a file that must not exist yet. When the name is taken, sets exists and
  // fails; other failures are UNZIP_ERR_DISK_FULL. out is set only on success.
  virtual Status CreateNew(const NativeString& path, std::unique_ptr<OutputFile>& out,
                           bool& exists) = 0;
  // Gives a file or folder another name, in the same folder or another one of the
  // volume; the name to must be free. Fails with UNZIP_ERR_DISK_FULL, leaving both
  // names as they were.
  virtual Status Rename(const NativeString& from, const NativeString& to) = 0;
  // Puts from (a file) in place of the existing file to in one step: the name to never
  // goes missing. Fails with UNZIP_ERR_DISK_FULL, leaving both names as they were; sets
  // inUse when the system refused because of what to is (on Windows: a running
  // program or a read-only file, which can still be renamed), not for other reasons
  // (an I/O error, a file another program holds open).
  virtual Status Replace(const NativeString& from, const NativeString& to, bool& inUse) = 0;
  // Gives the file existing the second name newName (a hard link), in the same folder or
  // another one of the volume. False when the system cannot (a volume without links,
  // ...) or, on Windows, when existing is in use (it could not be replaced, and the link
  // could not be removed while it is), leaving nothing behind.
  virtual bool Link(const NativeString& existing, const NativeString& newName) = 0;
  // Writes the names in folder through to the disk, so that they outlast a power cut
  // (file contents are flushed by OutputFile::Finish). Fails with UNZIP_ERR_DISK_FULL.
  virtual Status FlushFolder(const NativeString& folder) = 0;
  // Deletes a file (read-only or not). True when it is gone afterwards.
  virtual bool Remove(const NativeString& path) = 0;
  // What the name is, without following a final symbolic link (a link counts as a
  // file: renaming it moves the link, not its target). A name that cannot be asked
  // about for any reason but its absence (a share gone, access denied) is Other.
  virtual PathType TypeOf(const NativeString& path) = 0;
  // True when path is a folder, following symbolic links and junctions (the extraction
  // folder itself may be reached through one).
  virtual bool IsFolder(const NativeString& path) = 0;
  // The names (not paths) in a folder; empty when it cannot be read.
  virtual std::vector<NativeString> ListFolder(const NativeString& folder) = 0;
  // True when path itself is a symbolic link, junction or other reparse point (what
  // the extraction must never descend through).
  virtual bool IsLink(const NativeString& path) = 0;
  // Creates one folder; its parent must exist and the name must be free. Fails with
  // UNZIP_ERR_DISK_FULL, leaving nothing behind.
  virtual Status MakeFolder(const NativeString& path) = 0;
  // Deletes a folder if it is empty. True when it is gone afterwards.
  virtual bool RemoveEmptyFolder(const NativeString& path) = 0;
  // The modification time of path itself (a link's own), UTC seconds; nothing when it
  // cannot be read.
  virtual std::optional<int64_t> ModifiedTime(const NativeString& path) = 0;
  // The time, UTC seconds, that OutputFile::Finish gives a file for stamp; nothing when
  // the stamp names no real time (the file then keeps the time the system set).
  virtual std::optional<int64_t> StampTime(const FileStamp& stamp) = 0;
  // The bytes this process may still write on the volume that holds folder (quotas
  // counted); nothing when the system cannot tell.
  virtual std::optional<uint64_t> FreeSpace(const NativeString& folder) = 0;
  // The name the folder lists for the existing file at path (its long name). Windows
  // also opens a file by its short 8.3 name, so a name may reach a file listed under
  // another. Nothing when it cannot be asked, or the system has no such other names
  // (Linux: the default).
  virtual std::optional<NativeString> ListedName(const NativeString& /*path*/) {
    return std::nullopt;
  }

  // Waits (another program may let go of a file meanwhile).
  virtual void Pause(unsigned milliseconds) = 0;
};

std::unique_ptr<FileSystem> MakeNativeFileSystem();

}  // namespace uz32
