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
#include "extract/unzip_callbacks.h"
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
#include "wizard/run_log.h"
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

void Log(RunLog* log, const std::string& line) {
  if (log) log->Line(line);
}

// Steps 1 to 13 of the run; leaves in `result` how it ended, kNotFetched for every
// failure before the extraction. A build with a package key takes the version file
// only with its good signature and the package only with the digest that version file
// names for it, and refuses a version older than the one recorded as installed. A
// keyless build checks the digest where the version file names one. Each file is held
// from its check to its use, so that no other program can change it in between. An
// unattended run ends as kUpToDate before the package is asked for when the recorded
// version is the mirror's.
void FetchAndUnpack(Form1& form, bool quiet, UpdateResult& result) {
  const bool french = IsFrench == 1;
  const std::span<const std::uint8_t> key = PackageKey();
  const bool signedBuild = !key.empty();
  RunLog* log = form.Log();
  result.outcome = UpdateOutcome::kNotFetched;
  SkipOnError([&] { form.Command2.SetEnabled(false); });

  std::wstring remoteName = platform::FromUtf8(kVersionFileName);
  std::wstring localPath = GetTempFolder() + remoteName;
  if (DownloadFile(remoteName, localPath) != 1 || WindowClosed()) return;

  // A version file that was stopped or broke is gone: no digits, as in a keyless run.
  VersionFacts facts;
  {
    std::unique_ptr<platform::HeldFile> page;
    SkipOnError([&] { page = platform::HoldFile(localPath); });
    if (!signedBuild) Log(log, "signature of version.html: not checked (no package key)");
    if (page && signedBuild) {
      const Signature verdict = CheckSignature(key, remoteName, localPath, *page);
      Log(log, verdict == Signature::kHolds   ? "signature of version.html: good"
               : verdict == Signature::kFails ? "signature of version.html: missing or wrong"
                                              : "signature of version.html: not fetched");
      if (verdict != Signature::kHolds) {
        page.reset();
        DeleteQuietly(localPath);
        if (verdict == Signature::kFails && !WindowClosed())
          result.outcome = UpdateOutcome::kNotAuthentic;
        return;
      }
    }
    // Reading and deleting are steps of their own: whatever the reading meets, the
    // version file does not stay behind.
    if (page) SkipOnError([&] { facts = ReadVersionFacts(*page, french); });
  }
  SkipOnError([&] { DeleteQuietly(localPath); });
  Log(log, "version digits: " + (facts.digits.empty() ? std::string("none") : facts.digits));
  if (facts.digits.size() != 3) return;
  result.digits = facts.digits;
  if (signedBuild && !facts.digest) {
    Log(log, "digest: the version file names none for the package");
    result.outcome = UpdateOutcome::kNotAuthentic;
    return;
  }
  const std::wstring folder =
      platform::Get<platform::System>().UpdaterFolder() + platform::kPathSeparator;
  result.installed = ReadInstalledVersion(folder);
  Log(log, "installed version: " + result.installed.value_or("none recorded"));
  if (quiet && result.installed && facts.digits == *result.installed) {
    result.outcome = UpdateOutcome::kUpToDate;
    return;
  }
  if (signedBuild && result.installed && facts.digits < *result.installed) {
    result.outcome = UpdateOutcome::kRefusedOlder;
    return;
  }

  remoteName = platform::FromAnsi(PackageName(facts.digits, french));
  localPath = GetTempFolder() + remoteName;
  // A package whose digest is known can be continued after a break: whatever arrives
  // is checked against the digest before it is used.
  const OnBreak onBreak = facts.digest ? OnBreak::kContinue : OnBreak::kFail;
  if (DownloadFile(remoteName, localPath, onBreak) != 1 || WindowClosed()) return;

  bool unpacked = false;
  {
    // Held until the extraction is over: the library reads the very bytes checked.
    std::unique_ptr<platform::HeldFile> package;
    SkipOnError([&] { package = platform::HoldFile(localPath); });
    if (package && facts.digest) {
      const bool matches = Sha256Hex(*package) == *facts.digest;
      Log(log, matches ? "digest of the package: matches"
                       : "digest of the package: does not match");
      if (!matches) {
        package.reset();
        DeleteQuietly(localPath);
        result.outcome =
            signedBuild ? UpdateOutcome::kNotAuthentic : UpdateOutcome::kExtractionFailed;
        return;
      }
    } else if (package) {
      Log(log, "digest of the package: none named");
    }
    unpacked = package && UnzipArchive(localPath, folder);
    if (package) {
      // Our library writes all members or none: a failure wrote nothing.
      Log(log, "extraction: result " + std::to_string(UnzipResult) + ", " +
                   std::to_string(unpacked ? ListedCount : 0) + " files written");
    }
  }
  if (unpacked) {
    result.outcome = UpdateOutcome::kUpdated;
    SkipOnError([&] { RecordInstalledVersion(folder, facts.digits); });
  } else {
    result.outcome = UpdateOutcome::kExtractionFailed;
  }
  DeleteQuietly(localPath);
}

}  // namespace

UpdateResult UpdateRun(Form1& form, std::wstring& stepMessage, bool quiet) {
  UpdateResult result;
  SkipOnError([&] { FetchAndUnpack(form, quiet, result); });
  // Whatever the run left in its folder goes with it.
  SkipOnError([] { platform::Get<platform::System>().RemoveRunFolder(); });
  if (WindowClosed()) {
    result.outcome = UpdateOutcome::kWindowClosed;
    return result;
  }
  const bool french = IsFrench == 1;
  SkipOnError([&] { stepMessage = StepMessage(result, french); });
  SkipOnError([&] { form.Command3.SetCaption(french ? L"Terminer" : L"Finish"); });
  return result;
}

}  // namespace vlr
