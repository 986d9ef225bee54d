#include "wizard/update_run.h"

#include <cstdint>
#include <filesystem>
#include <istream>
#include <memory>
#include <optional>
#include <span>
#include <system_error>

#include "download/download_file.h"
#include "download/temp_folder.h"
#include "extract/unzip_driver.h"
#include "mirror/mirror_rules.h"
#include "mirror/version_file.h"
#include "platform/held_file.h"
#include "platform/services.h"
#include "platform/skip_on_error.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/window_system.h"
#include "signature/file_signature.h"
#include "signature/package_key.h"
#include "wizard/form1.h"
#include "wizard/installed_version.h"
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

const wchar_t* UnpackFailed(bool french) {
  return french ? L"DLL Unzip manquante ou téléchargement imcomplet!"
                : L"Unzip DLL missing or incomplete download!";
}

std::wstring Refused(bool french, const std::string& offered, const std::string& installed) {
  const std::wstring older = platform::FromAnsi(DottedVersion(offered));
  const std::wstring newer = platform::FromAnsi(DottedVersion(installed));
  return french ? L"Mise-à-jour refusée!\r\nLa version " + older + L" est plus ancienne que " + newer
                : L"Update refused!\r\nVersion " + older + L" is older than " + newer;
}

enum class Signature { kHolds, kFails, kInterrupted };

// In a build with a package key: fetches the signature of `remoteName` beside
// `localPath` and checks the held file against it. kInterrupted when the download of
// the signature was stopped or broke (its file is gone again): that is a failed
// connection, as for any other download. The signature file is deleted again.
Signature CheckSignature(std::span<const std::uint8_t> key, const std::wstring& remoteName,
                         const std::wstring& localPath, platform::HeldFile& file) {
  const std::wstring signatureName = platform::FromUtf8(SignatureName(platform::ToUtf8(remoteName)));
  const std::wstring signaturePath = localPath + L".sig";
  Signature verdict = Signature::kFails;
  if (DownloadFile(signatureName, signaturePath) == 1) {
    std::error_code ec;
    if (WindowClosed() || !std::filesystem::exists(platform::ToPath(signaturePath), ec)) {
      verdict = Signature::kInterrupted;
    } else if (IsSignedBy(key, file, signaturePath)) {
      verdict = Signature::kHolds;
    }
  }
  DeleteQuietly(signaturePath);
  return verdict;
}

// What the version file gives: its digits and the digest it names for the package
// those digits call for.
struct VersionFacts {
  std::string digits;
  std::optional<std::string> digest;
};

VersionFacts ReadVersionFacts(platform::HeldFile& page, bool french) {
  VersionFacts facts;
  if (!page.Rewind()) return facts;
  platform::HeldFileBuffer buffer(page);
  std::istream in(&buffer);
  facts.digits = VersionDigits(in);
  if (facts.digits.size() == 3) facts.digest = PackageDigest(in, PackageName(facts.digits, french));
  return facts;
}

// Steps 1 to 13 of the run; returns with `stepMessage` empty when the run failed
// before the extraction. A build with a package key takes the version file only with
// its good signature and the package only with the digest that version file names
// for it, and refuses a version older than the one recorded as installed. A keyless
// build checks the digest where the version file names one. Each file is held from its
// check to its use, so that no other program can change it in between.
void FetchAndUnpack(Form1& form, std::wstring& stepMessage) {
  const bool french = IsFrench == 1;
  const std::span<const std::uint8_t> key = PackageKey();
  const bool signedBuild = !key.empty();
  SkipOnError([&] { form.Command2.SetEnabled(false); });

  std::wstring remoteName = platform::FromUtf8(kVersionFileName);
  std::wstring localPath = GetTempFolder() + remoteName;
  if (DownloadFile(remoteName, localPath) != 1 || WindowClosed()) return;

  // A version file that was stopped or broke is gone: no digits, as in a keyless run.
  VersionFacts facts;
  {
    std::unique_ptr<platform::HeldFile> page;
    SkipOnError([&] { page = platform::HoldFile(localPath); });
    if (page && signedBuild) {
      const Signature verdict = CheckSignature(key, remoteName, localPath, *page);
      if (verdict != Signature::kHolds) {
        page.reset();
        DeleteQuietly(localPath);
        if (verdict == Signature::kFails && !WindowClosed()) stepMessage = NotAuthentic(french);
        return;
      }
    }
    // Reading and deleting are steps of their own: whatever the reading meets, the
    // version file does not stay behind.
    if (page) SkipOnError([&] { facts = ReadVersionFacts(*page, french); });
  }
  SkipOnError([&] { DeleteQuietly(localPath); });
  if (facts.digits.size() != 3) return;
  if (signedBuild && !facts.digest) {
    stepMessage = NotAuthentic(french);
    return;
  }
  const std::wstring folder =
      platform::Get<platform::System>().UpdaterFolder() + platform::kPathSeparator;
  const std::optional<std::string> installed = ReadInstalledVersion(folder);
  if (signedBuild && installed && facts.digits < *installed) {
    stepMessage = Refused(french, facts.digits, *installed);
    return;
  }

  remoteName = platform::FromAnsi(PackageName(facts.digits, french));
  localPath = GetTempFolder() + remoteName;
  if (DownloadFile(remoteName, localPath) != 1 || WindowClosed()) return;

  bool unpacked = false;
  {
    // Held until the extraction is over: the library reads the very bytes checked.
    std::unique_ptr<platform::HeldFile> package;
    SkipOnError([&] { package = platform::HoldFile(localPath); });
    if (package && facts.digest && Sha256Hex(*package) != *facts.digest) {
      package.reset();
      DeleteQuietly(localPath);
      stepMessage = signedBuild ? NotAuthentic(french) : UnpackFailed(french);
      return;
    }
    unpacked = package && UnzipArchive(localPath, folder);
  }
  if (unpacked) {
    stepMessage = (french ? L"Mise-à-jour réussie!" : L"Update succeeded!");
    stepMessage += L"\r\nVersion " + platform::FromAnsi(DottedVersion(facts.digits));
    SkipOnError([&] { RecordInstalledVersion(folder, facts.digits); });
  } else {
    stepMessage = UnpackFailed(french);
  }
  DeleteQuietly(localPath);
}

}  // namespace

void UpdateRun(Form1& form, std::wstring& stepMessage) {
  SkipOnError([&] { FetchAndUnpack(form, stepMessage); });
  // Whatever the run left in its folder goes with it.
  SkipOnError([] { platform::Get<platform::System>().RemoveRunFolder(); });
  if (WindowClosed()) return;
  const bool french = IsFrench == 1;
  if (stepMessage.empty()) {
    stepMessage = french ? L"Echec de la connexion internet..." : L"Failed connecting to internet...";
  }
  SkipOnError([&] { form.Command3.SetCaption(french ? L"Terminer" : L"Finish"); });
}

}  // namespace vlr
