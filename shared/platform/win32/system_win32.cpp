#include <windows.h>
#include <bcrypt.h>

#include <cstring>
#include <cwctype>
#include <filesystem>
#include <string>
#include <utility>

#include "platform/lock_file.h"
#include "platform/run_folders.h"
#include "platform/services.h"
#include "platform/system.h"
#include "platform/system_error_text.h"
#include "platform/text.h"
#include "platform/win32/command_line.h"
#include "platform/win32/win32_handles.h"

namespace platform {

namespace {

class Win32System final : public System {
 public:
  ~Win32System() override { RemoveRunFolder(); }

  std::wstring ArgumentText() override {
    const wchar_t* commandLine = GetCommandLineW();
    if (!commandLine) return {};
    return ArgumentTail(commandLine, ModulePath());
  }

  std::wstring UpdaterFolder() override {
    std::wstring path = ModulePath();
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
  }

  // Another copy is one that holds the lock file in the same folder. The file is opened
  // without sharing and deleted when its last handle closes, so the claim ends with
  // the process however it ends; share modes hold across a network share too, which
  // protects a folder that several machines update. Where the folder takes no new
  // file (read-only media), a per-folder named mutex stands in for it on this machine.
  bool AnotherInstanceRunning() override {
    if (lock_ || mutex_) return false;
    std::wstring folder = UpdaterFolder();
    bool busy = false;
    unsigned long error = 0;
    lock_ = TakeLockFile(ToPath(folder + L"\\vlrupdate.lock"), busy, error);
    if (lock_ || busy) return busy;

    std::wstring name = L"Local\\vlrupdate-";
    for (wchar_t c : folder) {
      name += (c == L'\\' || c == L':') ? L'_' : static_cast<wchar_t>(std::towupper(c));
    }
    win32::UniqueKernelObject mutex(CreateMutexW(nullptr, TRUE, name.c_str()));
    if (!mutex) return false;
    if (GetLastError() == ERROR_ALREADY_EXISTS) return true;
    mutex_ = std::move(mutex);
    return false;
  }

  bool StartProgram(const std::wstring& path, std::wstring& errorText) override {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION pi{};
    std::wstring commandLine = L"\"" + path + L"\"";
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &si, &pi)) {
      errorText = FromUtf8(SystemErrorText(GetLastError())) + L".";  // its own words, as shown
      return false;
    }
    win32::UniqueKernelObject process(pi.hProcess), thread(pi.hThread);
    // Let the new program take the foreground from us.
    AllowSetForegroundWindow(pi.dwProcessId);
    return true;
  }

  void EndProgram() override { ExitProcess(0); }

  // The run's folder inside the system's temporary folder: a random name, created by
  // this call or not at all, so that another program of the user cannot have
  // prepared it or guess where the downloads go.
  std::uint32_t GetTempPathA(std::uint32_t bufferLength, char* buffer) override {
    if (runFolder_.empty()) {
      char base[MAX_PATH + 1] = {};
      const DWORD n = ::GetTempPathA(sizeof base, base);
      if (n == 0 || n > MAX_PATH) return 0;
      for (int attempt = 0; attempt < 8 && runFolder_.empty(); ++attempt) {
        unsigned char random[8];
        if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, random, sizeof random,
                                             BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
          return 0;
        std::string folder = std::string(base, n) + kRunFolderPrefix;
        for (unsigned char b : random) {
          folder += "0123456789abcdef"[b >> 4];
          folder += "0123456789abcdef"[b & 15];
        }
        if (CreateDirectoryA(folder.c_str(), nullptr)) runFolder_ = folder + '\\';
      }
      if (runFolder_.empty()) return 0;
      // Held while the run lasts; the folders of killed runs go now.
      const std::filesystem::path own = ToPath(FromAnsi(runFolder_.substr(0, runFolder_.size() - 1)));
      runLock_ = HoldRunFolder(own);
      RemoveStaleRunFolders(own.parent_path(), own);
    }
    if (runFolder_.size() + 1 > bufferLength) return static_cast<std::uint32_t>(runFolder_.size() + 1);
    std::memcpy(buffer, runFolder_.c_str(), runFolder_.size() + 1);
    return static_cast<std::uint32_t>(runFolder_.size());
  }

  void RemoveRunFolder() override {
    if (runFolder_.empty()) return;
    platform::EndRunFolder(ToPath(FromAnsi(runFolder_.substr(0, runFolder_.size() - 1))),
                              runLock_);
    runFolder_.clear();
  }

  double TimeOfDay() override {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return t.wHour * 3600.0 + t.wMinute * 60.0 + t.wSecond + t.wMilliseconds / 1000.0;
  }

  // Returns as soon as a message arrives in the thread's queue (a click, a repaint),
  // so that the caller can let it run.
  void Pause(std::uint32_t milliseconds) override {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds, QS_ALLINPUT);
  }

 private:
  std::string runFolder_;  // with its final separator, once made
  std::unique_ptr<LockFile> runLock_;
  std::unique_ptr<LockFile> lock_;
  win32::UniqueKernelObject mutex_;
};

}  // namespace

template <>
System& DefaultService<System>() {
  static Win32System system;
  return system;
}

}  // namespace platform
