// Windows files through the W functions: handles, positioned ReadFile, MoveFileExW. Below
// a held folder, every step first opens each folder on the way not held yet (the link
// itself, never its target, refused when it is one) and holds it without delete sharing
// until the hold ends: none of them can be renamed or replaced by a link or junction
// meanwhile, so the step's path names the folders that were checked.
#include <windows.h>

#include <algorithm>
#include <vector>

#include "dos_time.h"
#include "os/file_system.h"
#include "os/held_folders.h"
#include "os/platform_text.h"
#include "platform/system_error_text.h"
#include "platform/win32/kernel_handles.h"

namespace uz32 {
namespace {

using File = platform::win32::UniqueFile;
using Search = platform::win32::UniqueSearch;

Status WriteFailure(const NativeString& path, DWORD err) {
  const bool full = err == ERROR_DISK_FULL || err == ERROR_HANDLE_DISK_FULL;
  return Status::Fail(UNZIP_ERR_DISK_FULL, "cannot write " + Utf8FromNative(path) + ": " +
                                               (full ? "the disk is full" : platform::SystemErrorText(err)));
}

constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kEpochDifference = 11644473600LL;  // 1601-01-01 to 1970-01-01, seconds

// The UTC file time a stamp stands for: its UTC seconds, or its DOS fields read as local
// time. Nothing when the stamp names no real time.
std::optional<FILETIME> StampToFileTime(const FileStamp& stamp) {
  FILETIME utc{};
  if (stamp.unixTime) {
    const int64_t ticks = (*stamp.unixTime + kEpochDifference) * kTicksPerSecond;
    if (ticks < 0) return std::nullopt;
    utc.dwLowDateTime = static_cast<DWORD>(ticks);
    utc.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) >> 32);
    return utc;
  }
  FILETIME local{};
  if (!IsPlausible(DecodeDosStamp(stamp.dosDate, stamp.dosTime)) ||
      !DosDateTimeToFileTime(stamp.dosDate, stamp.dosTime, &local) ||
      !LocalFileTimeToFileTime(&local, &utc)) {
    return std::nullopt;
  }
  return utc;
}

int64_t UnixSeconds(const FILETIME& t) {
  const uint64_t ticks = (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  return static_cast<int64_t>(ticks / kTicksPerSecond) - kEpochDifference;
}

class WinInput final : public ByteSource {
 public:
  WinInput(File h, uint64_t size) : h_(std::move(h)), size_(size) {}
  uint64_t Size() const override { return size_; }
  Status ReadAt(uint64_t offset, std::span<uint8_t> out) override {
    if (offset > size_ || out.size() > size_ - offset) return UnexpectedEnd();
    size_t done = 0;
    while (done < out.size()) {
      const uint64_t at = offset + done;
      OVERLAPPED ov{};
      ov.Offset = static_cast<DWORD>(at);
      ov.OffsetHigh = static_cast<DWORD>(at >> 32);
      const DWORD want = static_cast<DWORD>(std::min<size_t>(out.size() - done, 1u << 30));
      DWORD got = 0;
      if (!ReadFile(h_.get(), out.data() + done, want, &got, &ov)) {
        if (GetLastError() == ERROR_HANDLE_EOF) return UnexpectedEnd();
        return Status::Fail(UNZIP_ERR_FORMAT,
                            "cannot read the archive: " + platform::SystemErrorText(GetLastError()));
      }
      if (got == 0) return UnexpectedEnd();
      done += got;
    }
    return Status::Ok();
  }

 private:
  File h_;
  uint64_t size_;
};

class WinOutput final : public OutputFile {
 public:
  WinOutput(File h, NativeString path) : h_(std::move(h)), path_(std::move(path)) {}
  Status Write(std::span<const uint8_t> data) override {
    size_t done = 0;
    while (done < data.size()) {
      const DWORD want = static_cast<DWORD>(std::min<size_t>(data.size() - done, 1u << 30));
      DWORD put = 0;
      if (!WriteFile(h_.get(), data.data() + done, want, &put, nullptr)) {
        return WriteFailure(path_, GetLastError());
      }
      if (put == 0) return WriteFailure(path_, ERROR_DISK_FULL);
      done += put;
    }
    return Status::Ok();
  }
  // Both the flush and the close may wait long (a virus scanner reads a new file as it
  // is closed): the extraction finishes files on several threads at once.
  // A delayed write error shows at the close; after a failed flush the handle closes
  // with this object.
  Status Finish(const FileStamp& stamp) override {
    if (const std::optional<FILETIME> utc = StampToFileTime(stamp)) {
      SetFileTime(h_.get(), nullptr, nullptr, &*utc);  // not worth failing for
    }
    if (!FlushFileBuffers(h_.get()) || !CloseHandle(h_.release())) {
      return WriteFailure(path_, GetLastError());
    }
    return Status::Ok();
  }

 private:

  File h_;
  NativeString path_;
};

// The system's part of the walk below a held folder: each folder is opened itself (not
// what a reparse point leads to) and refused when it is a reparse point or no folder.
// Keys are upper case.
struct WinWalk {
  using Handle = File;
  using Error = DWORD;
  static constexpr Error kRefused = ERROR_CANT_ACCESS_FILE;
  static constexpr HANDLE kOutside = nullptr;
  static std::wstring Key(const std::wstring& name) { return FileNameKey(name); }
  static File OpenBelow(HANDLE, const std::wstring& parent, const std::wstring& name,
                        DWORD& error) {
    File folder(CreateFileW(JoinPath(parent, name).c_str(), FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!folder || !GetFileInformationByHandle(folder.get(), &info)) {
      error = GetLastError();
    } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
               (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      error = ERROR_CANT_ACCESS_FILE;
    }
    return folder;
  }
};

class WinFileSystem final : public FileSystem {
 public:
  std::unique_ptr<FolderHold> HoldFolder(const NativeString& folder) override {
    return held_.Hold(folder, 3, [](const std::wstring& path, DWORD& error) {
      // The folder itself may be reached through a link: that one is followed.
      File h(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
      if (!h) error = GetLastError();
      return h;
    });
  }

  Status OpenArchive(const NativeString& path, std::unique_ptr<ByteSource>& out) override {
    File h(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!h || !GetFileSizeEx(h.get(), &size) || size.QuadPart < 0) {
      return Status::Fail(UNZIP_ERR_NOT_FOUND, "cannot open the archive " + Utf8FromNative(path));
    }
    out = std::make_unique<WinInput>(std::move(h), static_cast<uint64_t>(size.QuadPart));
    return Status::Ok();
  }

  Status CreateNew(const NativeString& path, std::unique_ptr<OutputFile>& out,
                   bool& exists) override {
    exists = false;
    const auto way = held_.Walk(path);
    if (way.error) return WriteFailure(path, way.error);
    // A link at the name, dangling or not, counts as taken: it is never followed.
    File h(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!h) {
      const DWORD err = GetLastError();
      exists = err == ERROR_FILE_EXISTS || err == ERROR_ALREADY_EXISTS;
      return WriteFailure(path, err);
    }
    out = std::make_unique<WinOutput>(std::move(h), path);
    return Status::Ok();
  }

  Status Rename(const NativeString& from, const NativeString& to) override {
    const auto a = held_.Walk(from);
    const auto b = held_.Walk(to);
    const DWORD refused = a.error ? a.error : b.error;
    if (refused || !MoveFileExW(from.c_str(), to.c_str(), 0)) {
      const DWORD err = refused ? refused : GetLastError();
      return Status::Fail(UNZIP_ERR_DISK_FULL, "cannot rename " + Utf8FromNative(from) + " to " +
                                                   Utf8FromNative(to) + ": " + platform::SystemErrorText(err));
    }
    return Status::Ok();
  }

  // A running program or a read-only file is refused with "access denied"; a file
  // open without delete sharing, with a sharing violation (Wine says "access denied"
  // there too, and the rename that follows fails: nothing is lost).
  Status Replace(const NativeString& from, const NativeString& to, bool& inUse) override {
    inUse = false;
    const auto a = held_.Walk(from);
    const auto b = held_.Walk(to);
    const DWORD refused = a.error ? a.error : b.error;
    if (refused || !MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) {
      const DWORD err = refused ? refused : GetLastError();
      inUse = !refused && err == ERROR_ACCESS_DENIED;
      return Status::Fail(UNZIP_ERR_DISK_FULL, "cannot replace " + Utf8FromNative(to) + " by " +
                                                   Utf8FromNative(from) + ": " + platform::SystemErrorText(err));
    }
    return Status::Ok();
  }

  // A file in use gets no link: it could not be replaced, and the link could not be
  // removed while the file is in use. Opening it for writing and deleting, sharing
  // everything, fails for exactly those: a running program or loaded library, or a
  // file open without write or delete sharing.
  bool Link(const NativeString& existing, const NativeString& newName) override {
    const auto a = held_.Walk(existing);
    const auto b = held_.Walk(newName);
    if (a.error || b.error) return false;
    if (!File(CreateFileW(existing.c_str(), GENERIC_WRITE | DELETE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr))) {
      return false;
    }
    return CreateHardLinkW(newName.c_str(), existing.c_str(), nullptr) != 0;
  }

  // The folder's names need nothing: NTFS logs its own changes to them.
  Status FlushFolder(const NativeString&) override { return Status::Ok(); }

  bool Remove(const NativeString& path) override {
    const auto way = held_.Walk(path);
    if (way.error) return false;
    if (DeleteFileW(path.c_str())) return true;
    DWORD err = GetLastError();
    if (err == ERROR_ACCESS_DENIED) {
      // A read-only file: clear the attribute and try once more.
      SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (DeleteFileW(path.c_str())) return true;
      err = GetLastError();
    }
    return err == ERROR_FILE_NOT_FOUND;
  }

  PathType TypeOf(const NativeString& path) override {
    const auto way = held_.Walk(path);
    const DWORD attrs = way.error ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(path.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES) {
      const DWORD err = way.error ? way.error : GetLastError();
      return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND ? PathType::Missing
                                                                        : PathType::Other;
    }
    if (attrs & FILE_ATTRIBUTE_DIRECTORY) return PathType::Folder;
    if (attrs & FILE_ATTRIBUTE_DEVICE) return PathType::Other;
    return PathType::File;
  }

  std::optional<NativeString> ListedName(const NativeString& path) override {
    // The file's own entry: FindFirstFileW reports the long name whatever name found it.
    const auto way = held_.Walk(path);
    WIN32_FIND_DATAW found{};
    if (way.error || !Search(FindFirstFileW(path.c_str(), &found))) return std::nullopt;
    return NativeString(found.cFileName);
  }

  std::optional<uint64_t> FreeSpace(const NativeString& folder) override {
    ULARGE_INTEGER available{};
    if (!GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr)) return std::nullopt;
    return available.QuadPart;
  }

  bool IsFolder(const NativeString& path) override {
    const DWORD attrs = GetFileAttributesW(path.c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY) != 0;
  }

  std::vector<NativeString> ListFolder(const NativeString& folder) override {
    std::vector<NativeString> names;
    const auto way = held_.Walk(JoinPath(folder, L"*"));
    if (way.error) return names;
    WIN32_FIND_DATAW data{};
    const Search find(FindFirstFileW(JoinPath(folder, L"*").c_str(), &data));
    if (!find) return names;
    do {
      names.emplace_back(data.cFileName);
    } while (FindNextFileW(find.get(), &data));
    return names;
  }

  bool IsLink(const NativeString& path) override {
    const auto way = held_.Walk(path);
    if (way.error) return false;
    const DWORD attrs = GetFileAttributesW(path.c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  }

  Status MakeFolder(const NativeString& path) override {
    const auto way = held_.Walk(path);
    if (way.error) return WriteFailure(path, way.error);
    if (!CreateDirectoryW(path.c_str(), nullptr)) return WriteFailure(path, GetLastError());
    return Status::Ok();
  }

  bool RemoveEmptyFolder(const NativeString& path) override {
    const auto way = held_.Walk(path);
    if (way.error) return false;
    held_.Forget(way.relative);  // a folder held without delete sharing cannot be removed
    if (RemoveDirectoryW(path.c_str())) return true;
    const DWORD err = GetLastError();
    return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND;
  }

  std::optional<int64_t> ModifiedTime(const NativeString& path) override {
    const auto way = held_.Walk(path);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (way.error || !GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
      return std::nullopt;
    }
    return UnixSeconds(data.ftLastWriteTime);
  }

  std::optional<int64_t> StampTime(const FileStamp& stamp) override {
    if (const std::optional<FILETIME> utc = StampToFileTime(stamp)) return UnixSeconds(*utc);
    return std::nullopt;
  }

  void Pause(unsigned milliseconds) override { Sleep(milliseconds); }

 private:
  HeldFolders<WinWalk> held_;
};

}  // namespace

std::unique_ptr<FileSystem> MakeNativeFileSystem() { return std::make_unique<WinFileSystem>(); }

}  // namespace uz32
