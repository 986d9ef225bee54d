#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/lock_file.h"
#include "platform/run_folders.h"
#include "platform/services.h"
#include "platform/system.h"
#include "platform/system_error_text.h"
#include "platform/text.h"

extern char** environ;

namespace platform {

namespace {

class PosixSystem final : public System {
 public:
  ~PosixSystem() override { RemoveRunFolder(); }

  // Linux keeps no raw command line: the arguments after the program's name are
  // joined with single blanks, which is what a Windows command tail looks like.
  std::wstring ArgumentText() override {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t first = all.find('\0');
    if (first == std::string::npos) return {};
    std::string tail = all.substr(first + 1);
    if (!tail.empty() && tail.back() == '\0') tail.pop_back();
    std::replace(tail.begin(), tail.end(), '\0', ' ');
    return FromAnsi(tail);
  }

  std::wstring UpdaterFolder() override {
    char buffer[4096];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return {};
    std::string path(buffer, static_cast<size_t>(n));
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::wstring() : FromAnsi(path.substr(0, slash));
  }

  // Another copy is one that holds the folder's lock file; the lock ends with the
  // process, however it ends. A lock file that exists but may not be opened is another
  // user's, who may be running: that counts as another copy. A folder that takes no
  // file has nothing to protect it.
  bool AnotherInstanceRunning() override {
    if (lock_) return false;
    bool busy = false;
    unsigned long error = 0;
    const std::filesystem::path path = ToPath(UpdaterFolder() + L"/.vlrupdate.lock");
    lock_ = TakeLockFile(path, busy, error);
    if (!lock_ && error == EACCES) {
      struct stat st {};
      return ::lstat(path.c_str(), &st) == 0;
    }
    return busy;
  }

  bool StartProgram(const std::wstring& path, std::wstring& errorText) override {
    std::string file = ToAnsi(path);
    char* argv[] = {file.data(), nullptr};
    pid_t pid = 0;
    int rc = posix_spawn(&pid, file.c_str(), nullptr, nullptr, argv, environ);
    if (rc != 0) {
      errorText = FromUtf8(SystemErrorText(static_cast<unsigned long>(rc)));
      return false;
    }
    return true;
  }

  void EndProgram() override { std::exit(0); }

  // A private folder for this run, made fresh (mode 0700) under TMPDIR at the first
  // call: another local user can neither guess the downloads' names nor plant files
  // or links among them.
  std::uint32_t GetTempPathA(std::uint32_t bufferLength, char* buffer) override {
    if (privateTemp_.empty()) {
      const char* dir = std::getenv("TMPDIR");
      std::string pattern = dir && *dir ? dir : "/tmp";
      if (pattern.back() != '/') pattern += '/';
      const std::string base = pattern;
      pattern += kRunFolderPrefix;
      pattern += "XXXXXX";
      if (!mkdtemp(pattern.data())) return 0;
      privateTemp_ = pattern + '/';
      // Held while the run lasts; the folders of killed runs go now.
      runLock_ = HoldRunFolder(pattern);
      RemoveStaleRunFolders(base, pattern);
    }
    const std::string& path = privateTemp_;
    if (path.size() + 1 > bufferLength) return static_cast<std::uint32_t>(path.size() + 1);
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<std::uint32_t>(path.size());
  }

  void RemoveRunFolder() override {
    if (privateTemp_.empty()) return;
    platform::EndRunFolder(std::filesystem::path(privateTemp_).parent_path(), runLock_);
    privateTemp_.clear();
  }

  double TimeOfDay() override {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    time_t seconds = tv.tv_sec;
    tm local{};
    localtime_r(&seconds, &local);
    return local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + tv.tv_usec / 1e6;
  }

  // There are no windows here: nothing can cut the pause short.
  void Pause(std::uint32_t milliseconds) override {
    timespec left{static_cast<time_t>(milliseconds / 1000),
                  static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
  }

 private:
  std::unique_ptr<LockFile> lock_;
  std::string privateTemp_;  // with its final '/', once made
  std::unique_ptr<LockFile> runLock_;
};

}  // namespace

template <>
System& DefaultService<System>() {
  static PosixSystem system;
  return system;
}

}  // namespace platform
