// Linux files: POSIX descriptors, pread, rename, link, futimens and fsync.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <thread>

#include "dos_time.h"
#include "os/file_system.h"
#include "os/platform_text.h"
#include "platform/system_error_text.h"
#include "platform/posix/unique_fd.h"

namespace uz32 {
namespace {

using Fd = platform::UniqueFd;

// Closes fd now; the close's errno, 0 when it went well (a delayed write error shows
// here).
int CloseReporting(Fd& fd) {
  if (!fd) return 0;
  return ::close(fd.release()) == 0 ? 0 : errno;
}

Status WriteFailure(const std::string& path, int err) {
  const bool full = err == ENOSPC || err == EDQUOT;
  return Status::Fail(UNZIP_ERR_DISK_FULL, "cannot write " + path + ": " +
                                               (full ? "the disk is full" : platform::SystemErrorText(err)));
}

// The time a stamp stands for: its UTC seconds, or its DOS fields read as local time.
// Nothing when the DOS fields name no real time.
std::optional<time_t> StampToTime(const FileStamp& stamp) {
  if (stamp.unixTime) return static_cast<time_t>(*stamp.unixTime);
  const DosStamp d = DecodeDosStamp(stamp.dosDate, stamp.dosTime);
  if (!IsPlausible(d)) return std::nullopt;
  std::tm tm{};
  tm.tm_year = d.year - 1900;
  tm.tm_mon = d.month - 1;
  tm.tm_mday = d.day;
  tm.tm_hour = d.hour;
  tm.tm_min = d.minute;
  tm.tm_sec = d.second;
  tm.tm_isdst = -1;
  const time_t when = std::mktime(&tm);
  if (when == static_cast<time_t>(-1)) return std::nullopt;
  return when;
}

class PosixInput final : public ByteSource {
 public:
  PosixInput(Fd fd, uint64_t size) : fd_(std::move(fd)), size_(size) {}
  uint64_t Size() const override { return size_; }
  Status ReadAt(uint64_t offset, std::span<uint8_t> out) override {
    if (offset > size_ || out.size() > size_ - offset) return UnexpectedEnd();
    size_t done = 0;
    while (done < out.size()) {
      const ssize_t n = ::pread(fd_.get(), out.data() + done, out.size() - done,
                                static_cast<off_t>(offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return Status::Fail(UNZIP_ERR_FORMAT, "cannot read the archive: " + platform::SystemErrorText(errno));
      if (n == 0) return UnexpectedEnd();
      done += static_cast<size_t>(n);
    }
    return Status::Ok();
  }

 private:
  Fd fd_;
  uint64_t size_;
};

class PosixOutput final : public OutputFile {
 public:
  PosixOutput(Fd fd, std::string path) : fd_(std::move(fd)), path_(std::move(path)) {}
  Status Write(std::span<const uint8_t> data) override {
    size_t done = 0;
    while (done < data.size()) {
      const ssize_t n = ::write(fd_.get(), data.data() + done, data.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return WriteFailure(path_, n < 0 ? errno : ENOSPC);
      done += static_cast<size_t>(n);
    }
    return Status::Ok();
  }
  // fsync waits for a journal commit of the file system; the extraction finishes
  // files on several threads at once, and their waits share commits.
  Status Finish(const FileStamp& stamp) override {
    SetTime(stamp);
    if (::fsync(fd_.get()) != 0) {
      const int err = errno;
      CloseReporting(fd_);
      return WriteFailure(path_, err);
    }
    if (const int err = CloseReporting(fd_); err != 0) return WriteFailure(path_, err);
    return Status::Ok();
  }

 private:
  void SetTime(const FileStamp& stamp) {
    const std::optional<time_t> when = StampToTime(stamp);
    if (!when) return;
    const timespec times[2] = {{0, UTIME_OMIT}, {*when, 0}};
    ::futimens(fd_.get(), times);  // a time that cannot be set is not worth failing for
  }

  Fd fd_;
  std::string path_;
};

// Flushes one file or folder to the disk.
Status Sync(const std::string& path, int flags) {
  Fd fd(::open(path.c_str(), flags | O_CLOEXEC));
  if (!fd || ::fsync(fd.get()) != 0) return WriteFailure(path, errno);
  if (const int err = CloseReporting(fd); err != 0) return WriteFailure(path, err);
  return Status::Ok();
}

class PosixFileSystem final : public FileSystem {
 public:
  Status OpenArchive(const NativeString& path, std::unique_ptr<ByteSource>& out) override {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
      return Status::Fail(UNZIP_ERR_NOT_FOUND, "cannot open the archive " + path);
    }
    out = std::make_unique<PosixInput>(std::move(fd), static_cast<uint64_t>(st.st_size));
    return Status::Ok();
  }

  Status CreateNew(const NativeString& path, std::unique_ptr<OutputFile>& out,
                   bool& exists) override {
    Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    exists = !fd && errno == EEXIST;
    if (!fd) return WriteFailure(path, errno);
    out = std::make_unique<PosixOutput>(std::move(fd), path);
    return Status::Ok();
  }

  Status Rename(const NativeString& from, const NativeString& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0) {
      return Status::Fail(UNZIP_ERR_DISK_FULL,
                          "cannot rename " + from + " to " + to + ": " + platform::SystemErrorText(errno));
    }
    return Status::Ok();
  }

  // rename() replaces in one step, whatever the old file is doing.
  Status Replace(const NativeString& from, const NativeString& to, bool& inUse) override {
    inUse = false;
    return Rename(from, to);
  }

  bool Link(const NativeString& existing, const NativeString& newName) override {
    return ::link(existing.c_str(), newName.c_str()) == 0;
  }

  Status FlushFolder(const NativeString& folder) override {
    return Sync(folder, O_RDONLY | O_DIRECTORY);
  }

  bool Remove(const NativeString& path) override {
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
  }

  PathType TypeOf(const NativeString& path) override {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT ? PathType::Missing : PathType::Other;
    if (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)) return PathType::File;
    if (S_ISDIR(st.st_mode)) return PathType::Folder;
    return PathType::Other;
  }

  std::optional<uint64_t> FreeSpace(const NativeString& folder) override {
    struct statvfs st {};
    if (::statvfs(folder.c_str(), &st) != 0) return std::nullopt;
    return static_cast<uint64_t>(st.f_bavail) * static_cast<uint64_t>(st.f_frsize);
  }

  bool IsFolder(const NativeString& path) override {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }

  std::vector<NativeString> ListFolder(const NativeString& folder) override {
    std::vector<NativeString> names;
    const platform::UniqueHandle<DIR*, platform::CloseWith<::closedir>> dir(::opendir(folder.c_str()));
    if (!dir) return names;
    while (const dirent* e = ::readdir(dir.get())) names.emplace_back(e->d_name);
    return names;
  }

  bool IsLink(const NativeString& path) override {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
  }

  Status MakeFolder(const NativeString& path) override {
    if (::mkdir(path.c_str(), 0777) != 0) return WriteFailure(path, errno);
    return Status::Ok();
  }

  bool RemoveEmptyFolder(const NativeString& path) override {
    return ::rmdir(path.c_str()) == 0 || errno == ENOENT;
  }

  std::optional<int64_t> ModifiedTime(const NativeString& path) override {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
    return static_cast<int64_t>(st.st_mtim.tv_sec);
  }

  std::optional<int64_t> StampTime(const FileStamp& stamp) override {
    const std::optional<time_t> when = StampToTime(stamp);
    if (!when) return std::nullopt;
    return static_cast<int64_t>(*when);
  }

  void Pause(unsigned milliseconds) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
};

}  // namespace

std::unique_ptr<FileSystem> MakeNativeFileSystem() { return std::make_unique<PosixFileSystem>(); }

}  // namespace uz32
