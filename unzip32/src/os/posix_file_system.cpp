// Linux files: POSIX descriptors, pread, futimens and fsync; below a held folder,
// openat down the path with O_NOFOLLOW, then renameat, linkat, unlinkat and mkdirat.
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
#include "os/held_folders.h"
#include "os/platform_text.h"
#include "platform/system_error_text.h"
#include "platform/posix/unique_fd.h"

namespace uz32 {
namespace {

using Fd = platform::UniqueFd;

Status WriteFailure(const std::string& path, int err) {
  const bool full = err == ENOSPC || err == EDQUOT;
  return Status::Fail(UNZIP_ERR_DISK_FULL, "cannot write " + path + ": " +
                                               (full ? "the disk is full" : platform::SystemErrorText(err)));
}

// fsyncs fd and closes it (a delayed write error shows at the close).
Status SyncAndClose(Fd fd, const std::string& path) {
  if (!fd || ::fsync(fd.get()) != 0 || ::close(fd.release()) != 0) return WriteFailure(path, errno);
  return Status::Ok();
}

// The time a stamp stands for: its UTC seconds, or its DOS fields read as local time.
// Nothing when the DOS fields name no real time.
std::optional<int64_t> StampToTime(const FileStamp& stamp) {
  if (stamp.unixTime) return stamp.unixTime;
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
  return static_cast<int64_t>(when);
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
    if (const std::optional<int64_t> when = StampToTime(stamp)) {
      const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(*when), 0}};
      ::futimens(fd_.get(), times);  // a time that cannot be set is not worth failing for
    }
    return SyncAndClose(std::move(fd_), path_);
  }

 private:

  Fd fd_;
  std::string path_;
};

// The system's part of the walk below a held folder.
struct PosixWalk {
  using Handle = Fd;
  using Error = int;
  static constexpr Error kRefused = ELOOP;
  static constexpr int kOutside = AT_FDCWD;
  static const std::string& Key(const std::string& name) { return name; }
  static Fd OpenBelow(int parent, const std::string&, const std::string& name, int& error) {
    Fd fd(::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) error = errno;
    return fd;
  }
};

class PosixFileSystem final : public FileSystem {
 public:
  std::unique_ptr<FolderHold> HoldFolder(const NativeString& folder) override {
    return held_.Hold(folder, 1, [](const std::string& path, int& error) {
      Fd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
      if (!fd) error = errno;
      return fd;
    });
  }

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
    exists = false;
    const auto at = held_.Walk(path);
    if (at.error) return WriteFailure(path, at.error);
    Fd fd(::openat(at.parent, at.name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                   0666));
    exists = !fd && errno == EEXIST;
    if (!fd) return WriteFailure(path, errno);
    out = std::make_unique<PosixOutput>(std::move(fd), path);
    return Status::Ok();
  }

  Status Rename(const NativeString& from, const NativeString& to) override {
    const auto a = held_.Walk(from);
    const auto b = held_.Walk(to);
    const int refused = a.error ? a.error : b.error;
    if (refused || ::renameat(a.parent, a.name.c_str(), b.parent, b.name.c_str()) != 0) {
      return Status::Fail(UNZIP_ERR_DISK_FULL, "cannot rename " + from + " to " + to + ": " +
                                                   platform::SystemErrorText(refused ? refused : errno));
    }
    return Status::Ok();
  }

  // rename() replaces in one step, whatever the old file is doing.
  Status Replace(const NativeString& from, const NativeString& to, bool& inUse) override {
    inUse = false;
    return Rename(from, to);
  }

  bool Link(const NativeString& existing, const NativeString& newName) override {
    const auto a = held_.Walk(existing);
    const auto b = held_.Walk(newName);
    return !a.error && !b.error && ::linkat(a.parent, a.name.c_str(), b.parent, b.name.c_str(), 0) == 0;
  }

  Status FlushFolder(const NativeString& folder) override {
    Fd fd = OpenFolder(folder);
    if (!fd) return WriteFailure(folder, errno);
    return SyncAndClose(std::move(fd), folder);
  }

  bool Remove(const NativeString& path) override {
    const auto at = held_.Walk(path);
    if (at.error) return false;
    return ::unlinkat(at.parent, at.name.c_str(), 0) == 0 || errno == ENOENT;
  }

  PathType TypeOf(const NativeString& path) override {
    struct stat st {};
    if (!StatOf(path, st)) return errno == ENOENT ? PathType::Missing : PathType::Other;
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
    Fd fd = OpenFolder(folder);
    if (!fd) return names;
    const platform::UniqueHandle<DIR*, platform::CloseWith<::closedir>> dir(::fdopendir(fd.get()));
    if (!dir) return names;
    fd.release();  // the stream owns it now
    while (const dirent* e = ::readdir(dir.get())) names.emplace_back(e->d_name);
    return names;
  }

  bool IsLink(const NativeString& path) override {
    struct stat st {};
    return StatOf(path, st) && S_ISLNK(st.st_mode);
  }

  Status MakeFolder(const NativeString& path) override {
    const auto at = held_.Walk(path);
    if (at.error) return WriteFailure(path, at.error);
    if (::mkdirat(at.parent, at.name.c_str(), 0777) != 0) return WriteFailure(path, errno);
    return Status::Ok();
  }

  bool RemoveEmptyFolder(const NativeString& path) override {
    const auto at = held_.Walk(path);
    if (at.error) return false;
    if (::unlinkat(at.parent, at.name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT) return false;
    held_.Forget(at.relative);
    return true;
  }

  std::optional<int64_t> ModifiedTime(const NativeString& path) override {
    struct stat st {};
    if (!StatOf(path, st)) return std::nullopt;
    return static_cast<int64_t>(st.st_mtim.tv_sec);
  }

  std::optional<int64_t> StampTime(const FileStamp& stamp) override { return StampToTime(stamp); }

  void Pause(unsigned milliseconds) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }

 private:
  // lstat for path, walked to as every step is; false with errno set when it fails.
  bool StatOf(const std::string& path, struct stat& st) const {
    const auto at = held_.Walk(path);
    if (at.error) {
      errno = at.error;
      return false;
    }
    return ::fstatat(at.parent, at.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
  }

  // A descriptor on the folder at path (not through a final link below the held
  // folder); none with errno set.
  Fd OpenFolder(const std::string& path) const {
    const auto at = held_.Walk(path);
    if (at.error) {
      errno = at.error;
      return Fd();
    }
    return Fd(::openat(at.parent, at.name.c_str(),
                       O_RDONLY | O_DIRECTORY | O_CLOEXEC | (at.parent == AT_FDCWD ? 0 : O_NOFOLLOW)));
  }

  HeldFolders<PosixWalk> held_;
};

}  // namespace

std::unique_ptr<FileSystem> MakeNativeFileSystem() { return std::make_unique<PosixFileSystem>(); }

}  // namespace uz32
