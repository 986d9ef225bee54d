#include "wizard/update_run.h"

#include <cstdint>
#include <filesystem>
#include <istream>
#include <memory>
#include <optional>
#include <span>
#include <system_error>

#include "download/download_file.h"
#include "download/download_state.h"
#include "download/temp_folder.h"
#include "extract/unzip_callbacks.h"
#include "extract/unzip_driver.h"
#include "mirror/mirror_rules.h"
#include "mirror/package_digest.h"
#include "mirror/utc_date.h"
#include "mirror/version_file.h"
#include "platform/plain_file.h"
#include "platform/services.h"
#include "skip_on_error.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/window_system.h"
#include "signature/file_signature.h"
#include "signature/package_key.h"
#include "wizard/form1.h"
#include "wizard/installed_version.h"
#include "wizard/mirror_list.h"
#include "wizard/run_log.h"
#include "wizard/shared_state.h"
#include "unzip32/unzip32.h"

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

struct SignatureCheck {
  Signature verdict = Signature::kFails;
  std::size_t key = 0;   // with kHolds: which of the build's keys verified it
  bool second = false;   // with kHolds: the second signature file held, not the first
};

// Fetches the signature file `signatureName` beside `localPath` and checks the held
// file against it with each of `keys`. kInterrupted when its download was stopped or
// broke (its file is gone again): that is a failed connection, as for any other
// download. The signature file is deleted again.
SignatureCheck CheckSignatureFile(std::span<const PublicKeyPoint> keys,
                                  const std::wstring& signatureName,
                                  const std::wstring& localPath, platform::PlainFile& file,
                                  const DownloadLimits& limits) {
  const std::wstring signaturePath = localPath + L".sig";
  SignatureCheck check;
  if (DownloadFile(signatureName, signaturePath, OnBreak::kFail, limits) == 1) {
    std::error_code ec;
    if (WindowClosed() || !std::filesystem::exists(platform::ToPath(signaturePath), ec)) {
      check.verdict = Signature::kInterrupted;
    } else if (std::optional<std::size_t> key = VerifyingKey(keys, file, signaturePath)) {
      check = {Signature::kHolds, *key};
    }
  }
  DeleteQuietly(signaturePath);
  return check;
}

// In a build with a package key: checks the held file against the signature beside
// `remoteName` and, when that one is missing or verifies with none of `keys`, against
// the second signature: while keys are being changed a mirror carries the old key's
// signature, which every earlier release reads, and the new key's beside it.
SignatureCheck CheckSignature(std::span<const PublicKeyPoint> keys, const std::wstring& remoteName,
                              const std::wstring& localPath, platform::PlainFile& file,
                              const DownloadLimits& limits) {
  const std::string name = platform::ToUtf8(remoteName);
  SignatureCheck check =
      CheckSignatureFile(keys, platform::FromUtf8(SignatureName(name)), localPath, file, limits);
  if (check.verdict != Signature::kFails) return check;
  check = CheckSignatureFile(keys, platform::FromUtf8(SecondSignatureName(name)), localPath, file,
                             limits);
  check.second = true;
  return check;
}

// The log's line for a signature check; with several keys a good signature names the
// key (its place in the build's list), and a good second signature says so: both show
// how far a change of keys has come.
std::string SignatureLogLine(const SignatureCheck& check, std::size_t keyCount) {
  switch (check.verdict) {
    case Signature::kHolds: {
      std::string which;
      if (check.second) which = SecondSignatureName(kVersionFileName);
      if (keyCount > 1) {
        which += std::string(which.empty() ? "" : ", ") + "key " + std::to_string(check.key + 1) +
                 " of " + std::to_string(keyCount);
      }
      return "signature of version.html: good" + (which.empty() ? "" : " (" + which + ")");
    }
    case Signature::kFails:
      return "signature of version.html: missing or wrong";
    case Signature::kInterrupted:
      break;
  }
  return "signature of version.html: not fetched";
}

// What the version file gives: its digits, the digest it names for the package those
// digits call for, and the day it expires.
struct VersionFacts {
  std::string digits;
  std::optional<std::string> digest;
  std::optional<UtcDay> expires;
};

VersionFacts ReadVersionFacts(platform::PlainFile& page, bool french) {
  VersionFacts facts;
  if (!page.Seek(0)) return facts;
  platform::HeldFileBuffer buffer(page);
  std::istream in(&buffer);
  facts.digits = VersionDigits(in);
  VersionTrailer trailer =
      ReadVersionTrailer(in, facts.digits.size() == 3 ? PackageName(facts.digits, french) : "");
  facts.digest = std::move(trailer.digest);
  facts.expires = trailer.expires;
  return facts;
}

void Log(RunLog* log, const std::string& line) {
  if (log) log->Line(line);
}

// How the version file of one mirror was taken.
enum class VersionVerdict {
  kAccepted,      // a version page (in a build with a key: signed, unexpired, with a digest)
  kNotFetched,    // not fetched, or no version in it
  kNotAuthentic,  // a signature that does not hold, an expired page, no digest
  kClosed,        // the window was closed during a download
};

// Fetches and judges the version file of the mirror in SiteAddress. A build with a
// package key takes it only with a good signature by one of its keys and, when it
// names a day it expires, only up to that day (UTC), and only with a digest for the
// package. The file is held from its check to its reading.
VersionVerdict FetchVersion(std::span<const PublicKeyPoint> keys, bool french, RunLog* log,
                            const DownloadLimits& limits, VersionFacts& facts) {
  const bool signedBuild = !keys.empty();
  const std::wstring remoteName = platform::FromUtf8(kVersionFileName);
  const std::wstring localPath = GetTempFolder() + remoteName;
  if (DownloadFile(remoteName, localPath, OnBreak::kFail, limits) != 1)
    return VersionVerdict::kNotFetched;
  if (WindowClosed()) return VersionVerdict::kClosed;

  // A version file that was stopped or broke is gone: no digits, as in a keyless run.
  facts = VersionFacts{};
  {
    std::unique_ptr<platform::PlainFile> page;
    SkipOnError([&] { page = platform::HoldFile(localPath); });
    if (!signedBuild) Log(log, "signature of version.html: not checked (no package key)");
    if (page && signedBuild) {
      const SignatureCheck check =
          CheckSignature(keys, remoteName, localPath, *page, limits);
      const Signature verdict = check.verdict;
      Log(log, SignatureLogLine(check, keys.size()));
      if (verdict != Signature::kHolds) {
        page.reset();
        DeleteQuietly(localPath);
        if (WindowClosed()) return VersionVerdict::kClosed;
        return verdict == Signature::kFails ? VersionVerdict::kNotAuthentic
                                            : VersionVerdict::kNotFetched;
      }
    }
    // Reading and deleting are steps of their own: whatever the reading meets, the
    // version file does not stay behind.
    if (page) SkipOnError([&] { facts = ReadVersionFacts(*page, french); });
  }
  SkipOnError([&] { DeleteQuietly(localPath); });
  // A signed version file that names its last day is refused after that day, as if it
  // were not signed: a mirror cannot keep handing out an old one for ever. Without a
  // key the line proves nothing and is not looked at.
  if (signedBuild && facts.expires) {
    const UtcDay today = UtcDayOf(platform::Get<platform::System>().UtcSeconds());
    if (HasExpired(*facts.expires, today)) {
      Log(log, ExpiredText(*facts.expires, today));
      return VersionVerdict::kNotAuthentic;
    }
    Log(log, "version file expires on " + UtcDateText(*facts.expires) + " (today " +
                 UtcDateText(today) + ")");
  }
  Log(log, "version digits: " + (facts.digits.empty() ? std::string("none") : facts.digits));
  if (facts.digits.size() != 3) return VersionVerdict::kNotFetched;
  if (signedBuild && !facts.digest) {
    Log(log, "digest: the version file names none for the package");
    return VersionVerdict::kNotAuthentic;
  }
  return VersionVerdict::kAccepted;
}

std::string VersionAttemptText(VersionVerdict verdict, const std::string& digits) {
  switch (verdict) {
    case VersionVerdict::kAccepted:
      return "accepted, version " + digits;
    case VersionVerdict::kNotAuthentic:
      return "not authentic";
    case VersionVerdict::kNotFetched:
    case VersionVerdict::kClosed:
      break;
  }
  return "not fetched or no version";
}

// How the package came from one mirror.
enum class PackageVerdict {
  kHeld,       // fetched and, where a digest is known, matching it: held in `package`
  kNotFetched,
  kGone,       // fetched, but its file is not there any more (a broken download)
  kMismatch,   // its digest is not the one the version file names
  kClosed,
};

// Fetches `remoteName` from the mirror in SiteAddress to `localPath` and holds it; with
// a digest, only when it matches. A package that fails is deleted again.
PackageVerdict FetchPackage(const std::wstring& remoteName, const std::wstring& localPath,
                            const std::optional<std::string>& digest, RunLog* log,
                            const DownloadLimits& limits,
                            std::unique_ptr<platform::PlainFile>& package) {
  // A package whose digest is known can be continued after a break: whatever arrives
  // is checked against the digest before it is used.
  const OnBreak onBreak = digest ? OnBreak::kContinue : OnBreak::kFail;
  if (DownloadFile(remoteName, localPath, onBreak, limits) != 1) return PackageVerdict::kNotFetched;
  if (WindowClosed()) return PackageVerdict::kClosed;
  // Held until the extraction is over: the library reads the very bytes checked.
  SkipOnError([&] { package = platform::HoldFile(localPath); });
  if (!package) return PackageVerdict::kGone;
  if (!digest) {
    Log(log, "digest of the package: none named");
    return PackageVerdict::kHeld;
  }
  const bool matches = Sha256Hex(*package) == *digest;
  Log(log, matches ? "digest of the package: matches" : "digest of the package: does not match");
  if (matches) return PackageVerdict::kHeld;
  package.reset();
  DeleteQuietly(localPath);
  return PackageVerdict::kMismatch;
}

const char* PackageAttemptText(PackageVerdict verdict) {
  switch (verdict) {
    case PackageVerdict::kHeld:
      return "fetched";
    case PackageVerdict::kMismatch:
      return "digest does not match";
    case PackageVerdict::kGone:
      return "broken download";
    case PackageVerdict::kNotFetched:
    case PackageVerdict::kClosed:
      break;
  }
  return "not fetched";
}

// The version file, then the package, then the extraction; leaves in `result` how it
// ended: kNotFetched when a file could not be fetched or the version file gives no
// version, else the ending met (not authentic, refused as older, up to date, or the
// extraction's). A build with a key refuses a version older than the one recorded as
// installed; a keyless build checks the digest where the version file names one. An
// unattended run ends as kUpToDate before the package is asked for when the recorded
// version is the mirror's, and tries the mirrors of its list in turn (mirror_list.h):
// the first accepted version file decides the version and the digest; the package
// comes from that mirror or, failing that, from the next ones, matching that digest.
// When every mirror failed, one address keeps its own ending; with several the run
// ends as not authentic when any served something not authentic, else as not fetched.
void FetchAndUnpack(Form1& form, bool quiet, UpdateResult& result) {
  const bool french = IsFrench == 1;
  const std::span<const PublicKeyPoint> keys = PackageKeys();
  const bool signedBuild = !keys.empty();
  RunLog* log = form.Log();
  result.outcome = UpdateOutcome::kNotFetched;
  SkipOnError([&] { form.Command2.SetEnabled(false); });

  // The wizard keeps its mirror text as one address.
  MirrorList mirrors(quiet ? SplitMirrorList(SiteAddress) : std::vector<std::wstring>{SiteAddress},
                     log);
  const std::size_t count = mirrors.Count();
  const auto failedAll = [&](UpdateOutcome single) {
    result.outcome = count == 1              ? single
                     : mirrors.AnyNotAuthentic() ? UpdateOutcome::kNotAuthentic
                                                 : UpdateOutcome::kNotFetched;
  };

  VersionFacts facts;
  std::size_t decided = count;
  UpdateOutcome versionFailure = UpdateOutcome::kNotFetched;
  for (std::size_t i = 0; i < count && decided == count; ++i) {
    if (!mirrors.Use(i, kVersionFileName)) continue;
    const VersionVerdict verdict = FetchVersion(keys, french, log, form.Limits(), facts);
    if (verdict == VersionVerdict::kClosed || WindowClosed()) return;
    mirrors.Attempt(i, kVersionFileName, VersionAttemptText(verdict, facts.digits));
    if (verdict == VersionVerdict::kAccepted) decided = i;
    const bool notAuthentic = verdict == VersionVerdict::kNotAuthentic;
    if (notAuthentic) mirrors.SawNotAuthentic();
    versionFailure = notAuthentic ? UpdateOutcome::kNotAuthentic : UpdateOutcome::kNotFetched;
  }
  if (decided == count) return failedAll(versionFailure);
  result.digits = facts.digits;
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

  const std::wstring remoteName = platform::FromAnsi(PackageName(facts.digits, french));
  const std::wstring localPath = GetTempFolder() + remoteName;
  const std::string packageName = platform::ToUtf8(remoteName);
  bool unpacked = false;
  {
    std::unique_ptr<platform::PlainFile> package;
    UpdateOutcome packageFailure = UpdateOutcome::kNotFetched;
    // Only the deciding mirror and those after it: the ones before served no
    // accepted version file.
    for (std::size_t i = decided; i < count && !package; ++i) {
      if (!mirrors.Use(i, packageName)) continue;
      const PackageVerdict verdict =
          FetchPackage(remoteName, localPath, facts.digest, log, form.Limits(), package);
      if (verdict == PackageVerdict::kClosed || WindowClosed()) return;
      mirrors.Attempt(i, packageName, PackageAttemptText(verdict));
      // Without a key a mismatch proves no tampering: a damaged download, as a broken one.
      const bool notAuthentic = signedBuild && verdict == PackageVerdict::kMismatch;
      if (notAuthentic) mirrors.SawNotAuthentic();
      packageFailure = notAuthentic ? UpdateOutcome::kNotAuthentic
                       : verdict == PackageVerdict::kNotFetched ? UpdateOutcome::kNotFetched
                                                                 : UpdateOutcome::kExtractionFailed;
    }
    if (!package) return failedAll(packageFailure);
    unpacked = UnzipArchive(localPath, folder);
    // Our library writes all members or none, or leaves its commit for the next
    // start to complete.
    Log(log, "extraction: result " + std::to_string(UnzipResult) + ", " +
                 (UnzipResult == UNZIP_ERR_UNFINISHED
                      ? std::string("unfinished: the next start of the updater completes it")
                      : std::to_string(unpacked ? ListedCount : 0) + " files written"));
  }
  if (unpacked) {
    result.outcome = UpdateOutcome::kUpdated;
    SkipOnError([&] { RecordInstalledVersion(folder, facts.digits); });
  } else {
    result.outcome = UnzipResult == UNZIP_ERR_UNFINISHED ? UpdateOutcome::kExtractionUnfinished
                                                         : UpdateOutcome::kExtractionFailed;
  }
  DeleteQuietly(localPath);
}

}  // namespace

UpdateResult UpdateRun(Form1& form, std::wstring& stepMessage, bool quiet) {
  UpdateResult result;
  SkipOnError([&] { FetchAndUnpack(form, quiet, result); });
  // Whatever the run left in its folder goes with it.
  SkipOnError([] { platform::Get<platform::System>().RemoveRunFolder(); });
  if (WindowClosed()) result.outcome = UpdateOutcome::kWindowClosed;
  if (RunLog* log = form.Log()) {
    SkipOnError([&] {
      log->Outcome(result.outcome == UpdateOutcome::kWindowClosed
                       ? std::string("the window was closed during a download")
                       : LogText(StepMessage(result, false)));
    });
  }
  if (result.outcome == UpdateOutcome::kWindowClosed) return result;
  const bool french = IsFrench == 1;
  SkipOnError([&] { stepMessage = StepMessage(result, french); });
  SkipOnError([&] { form.Command3.SetCaption(french ? L"Terminer" : L"Finish"); });
  return result;
}

}  // namespace vlr
