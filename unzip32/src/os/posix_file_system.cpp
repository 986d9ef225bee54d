// Linux files: POSIX descriptors, pread, futimens and fsync; below a held folder,
// openat down the path with O_NOFOLLOW, then renameat, linkat, unlinkat and mkdirat.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <mutex>
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

// fsyncs fd and closes it.
Status SyncAndClose(Fd fd, const std::string& path) {
  if (!fd || ::fsync(fd.get()) != 0) return WriteFailure(path, errno);
  if (const int err = CloseReporting(fd); err != 0) return WriteFailure(path, err);
  return Status::Ok();
}

// The held folder: its path without a trailing '/', and a descriptor on it (none when
// it could not be opened: error says why); and the folders below it that steps went
// through, each held from its first use (by relative path), so that every later step
// goes on in the same folder, wherever it is moved meanwhile.
struct Root {
  std::string path;
  Fd fd;
  int error = 0;
  std::mutex mutex;  // guards below (staged files are made on several threads)
  std::map<std::string, Fd> below;
};

// Where a step acts: the name `name` in the folder `dir` (AT_FDCWD for a path outside
// the held folder, name then the whole path; dir is owned by the hold); error when the
// way there was refused.
struct At {
  int dir = AT_FDCWD;
  std::string name;
  std::string relative;  // below the held folder: the path from it
  int error = 0;
};

class PosixFileSystem final : public FileSystem {
 public:
  std::unique_ptr<FolderHold> HoldFolder(const NativeString& folder) override {
    if (root_) return std::make_unique<FolderHold>();
    auto root = std::make_unique<Root>();
    root->path = folder;
    while (root->path.size() > 1 && root->path.back() == '/') root->path.pop_back();
    root->fd = Fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!root->fd) root->error = errno;
    root_ = std::move(root);
    return std::make_unique<Release>(root_);
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
    const At at = Resolve(path);
    if (at.error) return WriteFailure(path, at.error);
    Fd fd(::openat(at.dir, at.name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                   0666));
    exists = !fd && errno == EEXIST;
    if (!fd) return WriteFailure(path, errno);
    out = std::make_unique<PosixOutput>(std::move(fd), path);
    return Status::Ok();
  }

  Status Rename(const NativeString& from, const NativeString& to) override {
    const At a = Resolve(from);
    const At b = Resolve(to);
    const int refused = a.error ? a.error : b.error;
    if (refused || ::renameat(a.dir, a.name.c_str(), b.dir, b.name.c_str()) != 0) {
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
    const At a = Resolve(existing);
    const At b = Resolve(newName);
    return !a.error && !b.error && ::linkat(a.dir, a.name.c_str(), b.dir, b.name.c_str(), 0) == 0;
  }

  Status FlushFolder(const NativeString& folder) override {
    Fd fd = OpenFolder(folder);
    if (!fd) return WriteFailure(folder, errno);
    return SyncAndClose(std::move(fd), folder);
  }

  bool Remove(const NativeString& path) override {
    const At at = Resolve(path);
    if (at.error) return false;
    return ::unlinkat(at.dir, at.name.c_str(), 0) == 0 || errno == ENOENT;
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
    const At at = Resolve(path);
    if (at.error) return WriteFailure(path, at.error);
    if (::mkdirat(at.dir, at.name.c_str(), 0777) != 0) return WriteFailure(path, errno);
    return Status::Ok();
  }

  bool RemoveEmptyFolder(const NativeString& path) override {
    const At at = Resolve(path);
    if (at.error) return false;
    if (::unlinkat(at.dir, at.name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT) return false;
    Forget(at.relative);
    return true;
  }

  std::optional<int64_t> ModifiedTime(const NativeString& path) override {
    struct stat st {};
    if (!StatOf(path, st)) return std::nullopt;
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

 private:
  // Ends a hold: the paths below the folder are paths again.
  class Release final : public FolderHold {
   public:
    explicit Release(std::unique_ptr<Root>& root) : root_(root) {}
    ~Release() override { root_.reset(); }

   private:
    std::unique_ptr<Root>& root_;
  };

  // The folder that holds the last name of path, reached from the held folder without
  // following any link; for a path outside it, the path itself. The held folder itself
  // is "." in it.
  At Resolve(const std::string& path) const {
    At at;
    const std::string& base = root_ ? root_->path : std::string();
    const bool below = root_ && path.size() >= base.size() &&
                       path.compare(0, base.size(), base) == 0 &&
                       (path.size() == base.size() || path[base.size()] == '/' || base == "/");
    if (!below) {
      at.name = path;
      return at;
    }
    if (!root_->fd) {
      at.error = root_->error;
      return at;
    }
    const std::vector<std::string> parts = PathComponents(path.substr(base.size()));
    at.dir = root_->fd.get();
    at.name = parts.empty() ? "." : parts.back();
    const std::lock_guard<std::mutex> hold(root_->mutex);
    for (size_t i = 0; i < parts.size(); ++i) {
      if (parts[i] == "." || parts[i] == "..") {
        at.error = ELOOP;
        return at;
      }
      if (!at.relative.empty()) at.relative += '/';
      at.relative += parts[i];
      if (i + 1 == parts.size()) break;
      Fd& held = root_->below[at.relative];
      if (!held) {
        held = Fd(::openat(at.dir, parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!held) {
          at.error = errno;
          root_->below.erase(at.relative);
          return at;
        }
      }
      at.dir = held.get();
    }
    return at;
  }

  // Lets go of the folder at relative and those below it (it was removed).
  void Forget(const std::string& relative) const {
    if (!root_ || relative.empty()) return;
    const std::lock_guard<std::mutex> hold(root_->mutex);
    std::erase_if(root_->below, [&](const auto& entry) {
      return entry.first == relative || entry.first.starts_with(relative + '/');
    });
  }

  // lstat for path, resolved as every step is; false with errno set when it fails.
  bool StatOf(const std::string& path, struct stat& st) const {
    const At at = Resolve(path);
    if (at.error) {
      errno = at.error;
      return false;
    }
    return ::fstatat(at.dir, at.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
  }

  // A descriptor on the folder at path (not through a final link below the held
  // folder); none with errno set.
  Fd OpenFolder(const std::string& path) const {
    const At at = Resolve(path);
    if (at.error) {
      errno = at.error;
      return Fd();
    }
    return Fd(::openat(at.dir, at.name.c_str(),
                       O_RDONLY | O_DIRECTORY | O_CLOEXEC | (at.dir == AT_FDCWD ? 0 : O_NOFOLLOW)));
  }

  std::unique_ptr<Root> root_;
};

}  // namespace

std::unique_ptr<FileSystem> MakeNativeFileSystem() { return std::make_unique<PosixFileSystem>(); }

}  // namespace uz32
