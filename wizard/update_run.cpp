#include "wizard/update_run.h"

#include <filesystem>
#include <system_error>

#include "download/download_file.h"
#include "download/temp_folder.h"
#include "extract/unzip_driver.h"
#include "platform/services.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/window_system.h"
#include "wizard/form1.h"
#include "wizard/shared_state.h"
#include "wizard/skip_on_error.h"
#include "wizard/version_file.h"

namespace vlr {

namespace {

// Deletes a file; a file that is already gone or locked is left as it is.
void DeleteQuietly(const std::wstring& path) {
  std::error_code ignored;
  std::filesystem::remove(platform::ToPath(path), ignored);
}

// The user closed the window during a download: the download has stopped as Cancel
// stops it, and the run ends here without touching the window again.
bool WindowClosed() { return platform::Get<platform::WindowSystem>().CloseRequested(); }

// Steps 1 to 13 of the run; returns with `stepMessage` empty when the run failed
// before the extraction.
void FetchAndUnpack(Form1& form, std::wstring& stepMessage) {
  const bool french = IsFrench == 1;
  SkipOnError([&] { form.Command2.SetEnabled(false); });

  std::wstring remoteName = L"version.html";
  std::wstring localPath = GetTempFolder() + remoteName;
  if (DownloadFile(remoteName, localPath) != 1 || WindowClosed()) {
    if (WindowClosed()) DeleteQuietly(localPath);
    return;
  }

  // Reading and deleting are steps of their own: whatever the reading meets, the
  // version file does not stay behind.
  std::string digits;
  SkipOnError([&] { digits = ReadVersionDigits(localPath); });
  SkipOnError([&] { DeleteQuietly(localPath); });
  if (digits.size() != 3) return;

  remoteName = L"vlr" + platform::FromAnsi(digits) + (french ? L"fr" : L"") + L".zip";
  localPath = GetTempFolder() + remoteName;
  if (DownloadFile(remoteName, localPath) != 1 || WindowClosed()) {
    if (WindowClosed()) DeleteQuietly(localPath);
    return;
  }

  std::wstring folder = platform::Get<platform::System>().UpdaterFolder() + platform::kPathSeparator;
  if (UnzipArchive(localPath, folder)) {
    stepMessage = (french ? L"Mise-à-jour réussie!" : L"Update succeeded!");
    stepMessage += L"\r\nVersion ";
    stepMessage += static_cast<wchar_t>(digits[0]);
    stepMessage += L'.';
    stepMessage += static_cast<wchar_t>(digits[1]);
    stepMessage += L'.';
    stepMessage += static_cast<wchar_t>(digits[2]);
  } else {
    stepMessage = french ? L"DLL Unzip manquante ou téléchargement imcomplet!"
                         : L"Unzip DLL missing or incomplete download!";
  }
  DeleteQuietly(localPath);
}

}  // namespace

void UpdateRun(Form1& form, std::wstring& stepMessage) {
  SkipOnError([&] { FetchAndUnpack(form, stepMessage); });
  if (WindowClosed()) return;
  const bool french = IsFrench == 1;
  if (stepMessage.empty()) {
    stepMessage = french ? L"Echec de la connexion internet..." : L"Failed connecting to internet...";
  }
  SkipOnError([&] { form.Command3.SetCaption(french ? L"Terminer" : L"Finish"); });
}

}  // namespace vlr
