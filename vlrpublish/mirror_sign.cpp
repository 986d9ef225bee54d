#include "vlrpublish/mirror_sign.h"

#include <iterator>
#include <sstream>
#include <vector>

#include "mirror/mirror_rules.h"
#include "vlrpublish/command_report.h"
#include "mirror/version_file.h"
#include "platform/text.h"
#include "vlrpublish/mirror_folder.h"
#include "mirror/package_digest.h"
#include "vlrpublish/release_names.h"
#include "platform/plain_file.h"
#include "vlrpublish/shown_text.h"
#include "signature/file_signature.h"

namespace vlrpub {

namespace {

namespace fs = std::filesystem;

// What the lines after `page`'s first empty line give for `packageName`, read as the
// updater reads them.
vlr::VersionTrailer Trailer(const std::string& page, const std::string& packageName) {
  std::istringstream in(page);
  vlr::VersionDigits(in);
  return vlr::ReadVersionTrailer(in, packageName);
}

std::string ExpiryText(const std::optional<vlr::UtcDay>& day) {
  return day ? vlr::UtcDateText(*day) : std::string("none");
}

}  // namespace

std::string SignVersionPage(const PackageSigner& signer,
                            const std::optional<PackageSigner>& secondSigner,
                            const fs::path& page) {
  const auto signWith = [&page](const PackageSigner& by, const fs::path& signature) {
    if (std::string failure = by.Sign(page, signature); !failure.empty()) return failure;
    if (vlr::IsSignedBy(by.publicPoint(), platform::FromUtf8(Utf8FromPath(page)),
                        platform::FromUtf8(Utf8FromPath(signature))))
      return std::string();
    std::error_code ignored;
    fs::remove(signature, ignored);
    return std::string("the updater would not take the signature of version.html");
  };
  std::string failure = signWith(signer, SignaturePath(page));
  if (failure.empty() && secondSigner) failure = signWith(*secondSigner, SecondSignaturePath(page));
  return failure;
}

int SignMirror(const SignRequest& request, std::FILE* out, std::FILE* err) {
  const CommandReport report("sign", "changed", err);
  std::vector<std::string> refusals;
  const PackageSigner signer(*request.signingKey);
  if (!signer.error().empty()) refusals.push_back(signer.error());
  std::optional<PackageSigner> secondSigner;
  if (request.secondSigningKey) {
    secondSigner.emplace(*request.secondSigningKey);
    if (!secondSigner->error().empty()) {
      refusals.push_back(secondSigner->error());
    } else if (signer.error().empty() && signer.publicPoint() == secondSigner->publicPoint()) {
      refusals.push_back("the two --key are one key: a second signature must be by another key");
    }
  }
  const fs::path& mirror = request.mirror;
  const fs::path pagePath = mirror / vlr::kVersionFileName;
  std::error_code ec;
  if (!fs::is_directory(mirror, ec)) {
    refusals.push_back(Utf8FromPath(mirror) + " is not a folder");
    return report.Refused(refusals);
  }
  const MirrorLock lock(mirror);
  if (!lock.held()) {
    refusals.push_back(lock.why());
    return report.Refused(refusals);
  }
  if (const std::string line = RemoveSignLeftovers(mirror); !line.empty())
    std::fprintf(err, "%s\n", line.c_str());

  std::string page;
  unsigned long error = 0;
  const bool pageRead = platform::ReadWholeFile(pagePath, page, error);
  if (!pageRead) {
    refusals.push_back("cannot read " + Utf8FromPath(pagePath) + SystemReason(error) +
                       "; sign re-signs a mirror that vlrpublish make (or a publisher) wrote");
  }
  std::istringstream reading(page);
  const std::string digits = vlr::VersionDigits(reading);
  std::vector<NamedDigest> digests;
  if (pageRead && digits.size() != 3) {
    refusals.push_back("version.html gives " + std::to_string(digits.size()) +
                       " digit(s) before its first empty line; the updater needs three");
  } else if (digits.size() == 3) {
    // A signature vouches for every package the version file names: each must be in the
    // folder, with the SHA-256 its line gives.
    for (const bool french : {false, true}) {
      const std::string name = vlr::PackageName(digits, french);
      const std::optional<std::string> digest = Trailer(page, name).digest;
      const bool held = fs::is_regular_file(mirror / name, ec);
      if (!held && digest) {
        refusals.push_back("version.html names the SHA-256 of " + name +
                           ", which the folder does not hold");
      } else if (!held && !french) {
        refusals.push_back("the folder holds no " + name + ", the package of version " +
                           vlr::DottedVersion(digits));
      } else if (held && !digest) {
        refusals.push_back("version.html names no digest for " + name +
                           ": an updater with a key refuses it; make the mirror again with "
                           "vlrpublish make");
      } else if (held) {
        const std::string actual = vlr::Sha256Hex(mirror / name);
        if (actual != *digest) {
          refusals.push_back(name + " is not the package version.html names: version.html "
                                    "gives SHA-256 " + *digest + ", the folder's " + name +
                             " has " + (actual.empty() ? std::string("none (unreadable)") : actual));
        } else {
          digests.emplace_back(name, actual);
        }
      }
    }
  }
  // The expiry protects every install with a key; it goes only when asked to. The
  // period it was made with is not in the folder, so none is guessed.
  const std::optional<vlr::UtcDay> before = Trailer(page, "").expires;
  if (before && !request.expiresInDays && !request.noExpiry) {
    refusals.push_back("version.html expires on " + ExpiryText(before) +
                       ": give --expires-in DAYS for a new expiry line, or --no-expiry to "
                       "remove it");
  }
  if (!refusals.empty()) return report.Refused(refusals);

  const std::optional<vlr::UtcDay> expires = ExpiryDay(request.expiresInDays);

  // Both files of the new pair are written and checked beside the old ones first.
  ScratchFolder aside(mirror, WorkingFolderStem(vlr::kVersionFileName, "sign"));
  if (!aside.error().empty()) return report.Failed(aside.error());
  const fs::path newPage = aside.path() / vlr::kVersionFileName;
  // The first failure ends the run.
  std::string failure = WriteFile(newPage, PageWithExpiry(page, expires));
  if (failure.empty()) failure = WriteFile(aside.path() / kReplacedPageName, page);
  if (failure.empty()) failure = ReadBackFailure(newPage, digits, digests, expires);
  if (failure.empty()) failure = SignVersionPage(signer, secondSigner, newPage);
  if (!failure.empty()) return report.Failed(failure);
  const bool hadSecond = fs::exists(SecondSignaturePath(pagePath), ec);
  if (failure = PutPairInPlace(aside, mirror); !failure.empty()) return report.Failed(failure);
  if (failure = PutSecondSignatureInPlace(aside, mirror); !failure.empty()) {
    report.Line("failed after the new version.html and version.html.sig were put in place: " +
                failure + "; builds that read the second signature may refuse the mirror "
                          "until sign runs again");
    return kFailed;
  }

  std::string names;
  for (const auto& [name, hex] : digests) names += (names.empty() ? "" : ", ") + name;
  std::fprintf(out,
               "version.html: the updater reads %s (Version %s); its digest lines are kept "
               "(%s, each matching the folder's package)\n",
               digits.c_str(), vlr::DottedVersion(digits).c_str(), names.c_str());
  if (expires) {
    std::fprintf(out, "expiry: %s (UTC; it was %s)\n", vlr::UtcDateText(*expires).c_str(),
                 ExpiryText(before).c_str());
  } else {
    std::fprintf(out, "expiry: none%s\n",
                 before ? (" (the line of " + ExpiryText(before) + " is removed)").c_str() : "");
  }
  std::fprintf(out, "signed: version.html.sig, checked as the updater checks it\n");
  if (secondSigner) {
    std::fprintf(out, "signed again: version.html.sig2, by the second key, checked as the "
                      "updater checks it\n");
  } else if (hadSecond) {
    std::fprintf(out, "removed: version.html.sig2 (by the second key of a change of keys; it "
                      "signed the old version.html): delete it on the web server too\n");
  }
  std::fprintf(out, "mirror signed: %s\n", Utf8FromPath(mirror).c_str());
  return kDone;
}

}  // namespace vlrpub
