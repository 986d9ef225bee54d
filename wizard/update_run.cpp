#include "wizard/update_run.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <system_error>

#include "download/download_file.h"
#include "download/temp_folder.h"
#include "extract/unzip_driver.h"
#include "mirror/mirror_rules.h"
#include "mirror/version_file.h"
#include "platform/services.h"
#include "platform/skip_on_error.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/window_system.h"
#include "signature/file_signature.h"
#include "signature/package_key.h"
#include "wizard/form1.h"
#include "wizard/shared_state.h"

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

const wchar_t* NotAuthentic(bool french) {
  return french ? L"Mise-à-jour non authentique!" : L"Update not authentic!";
}

// In a build with a package key: fetches `remoteName` + ".sig" beside `localPath` and
// checks the file at `localPath` against it. The signature file is deleted again
// whatever the outcome; `localPath` is left for the caller.
bool SignatureHolds(std::span<const std::uint8_t> key, const std::wstring& remoteName,
                    const std::wstring& localPath) {
  const std::wstring signaturePath = localPath + L".sig";
  const std::wstring signatureName = platform::FromAnsi(SignatureName(platform::ToAnsi(remoteName)));
  bool holds = DownloadFile(signatureName, signaturePath) == 1 && !WindowClosed() &&
               IsSignedBy(key, localPath, signaturePath);
  DeleteQuietly(signaturePath);
  return holds;
}

// Steps 1 to 13 of the run; returns with `stepMessage` empty when the run failed
// before the extraction. A build with a package key takes neither the version file nor
// the package before its signature has been checked; a file whose signature is
// missing or wrong is deleted, and the run ends with the not-authentic message.
void FetchAndUnpack(Form1& form, std::wstring& stepMessage) {
  const bool french = IsFrench == 1;
  const std::span<const std::uint8_t> key = PackageKey();
  SkipOnError([&] { form.Command2.SetEnabled(false); });

  std::wstring remoteName = L"version.html";
  std::wstring localPath = GetTempFolder() + remoteName;
  if (DownloadFile(remoteName, localPath) != 1 || WindowClosed()) {
    if (WindowClosed()) DeleteQuietly(localPath);
    return;
  }
  if (!key.empty() && !SignatureHolds(key, remoteName, localPath)) {
    DeleteQuietly(localPath);
    if (!WindowClosed()) stepMessage = NotAuthentic(french);
    return;
  }

  // Reading and deleting are steps of their own: whatever the reading meets, the
  // version file does not stay behind.
  std::string digits;
  SkipOnError([&] { digits = ReadVersionDigits(localPath); });
  SkipOnError([&] { DeleteQuietly(localPath); });
  if (digits.size() != 3) return;

  remoteName = platform::FromAnsi(PackageName(digits, french));
  localPath = GetTempFolder() + remoteName;
  if (DownloadFile(remoteName, localPath) != 1 || WindowClosed()) {
    if (WindowClosed()) DeleteQuietly(localPath);
    return;
  }
  if (!key.empty() && !SignatureHolds(key, remoteName, localPath)) {
    DeleteQuietly(localPath);
    if (!WindowClosed()) stepMessage = NotAuthentic(french);
    return;
  }

  std::wstring folder = platform::Get<platform::System>().UpdaterFolder() + platform::kPathSeparator;
  if (UnzipArchive(localPath, folder)) {
    stepMessage = (french ? L"Mise-à-jour réussie!" : L"Update succeeded!");
    stepMessage += L"\r\nVersion " + platform::FromAnsi(DottedVersion(digits));
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
