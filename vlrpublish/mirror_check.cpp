#include "vlrpublish/mirror_check.h"

#include <fstream>
#include <iterator>
#include <memory>
#include <span>
#include <optional>
#include <vector>

#include "mirror/expiry_near_miss.h"
#include "mirror/mirror_rules.h"
#include "mirror/version_file.h"
#include "platform/text.h"
#include "vlrpublish/http_get.h"
#include "vlrpublish/package_check.h"
#include "mirror/package_digest.h"
#include "vlrpublish/progress_line.h"
#include "vlrpublish/release_names.h"
#include "vlrpublish/mirror_folder.h"
#include "platform/plain_file.h"
#include "vlrpublish/shown_text.h"
#include "signature/file_signature.h"
#include "signature/key_list.h"
#include "signature/public_key_pem.h"

namespace vlrpub {

namespace {

namespace fs = std::filesystem;

// Fetches `name` from the mirror at `address` into `file` (with a progress line for a
// package) and says on `out` what came back: "version.html: HTTP 200, 178 bytes", then
// `end`.
HttpAnswer Fetch(const std::string& address, const std::string& name, const fs::path& file,
                 std::FILE* out, const char* end = "\n", bool package = false) {
  HttpAnswer a;
  {
    std::optional<ProgressLine> progress;
    if (package) progress.emplace(name + ": downloading", 0);
    a = HttpGet(platform::ToAnsi(platform::FromUtf8(address + name)), file,
                [&](std::uint64_t done, std::int64_t announced) {
                  if (!progress) return;
                  if (announced > 0) progress->SetTotal(static_cast<std::uint64_t>(announced));
                  progress->Update(done);
                });
  }
  std::string s = "HTTP " + std::to_string(a.status) + ", " + std::to_string(a.received) + " bytes";
  if (a.announced >= 0 && static_cast<std::uint64_t>(a.announced) != a.received) {
    s += " of " + std::to_string(a.announced) + " announced";
  }
  std::fprintf(out, "%s: %s%s", name.c_str(), a.answered ? s.c_str() : "no answer", end);
  return a;
}

// Adds to `reasons` what the updater would make of one download. True when the updater
// would go on with the file.
bool Judge(const std::string& name, const HttpAnswer& a, std::vector<std::string>& reasons) {
  if (!a.answered) {
    reasons.push_back(name + ": no answer from the mirror (" + a.error + ")");
    return false;
  }
  if (a.status >= 400) {
    reasons.push_back(name + " answered HTTP " + std::to_string(a.status) +
                      ": the updater counts an error answer as a failed download");
    return false;
  }
  if (a.status != 200) {
    reasons.push_back(name + " answered HTTP " + std::to_string(a.status) + " instead of 200");
  }
  if (!a.complete) {
    reasons.push_back(name + ": the transfer broke after " + std::to_string(a.received) +
                      " bytes (" + a.error + "); the updater deletes what it received");
  } else if (a.received == 0) {
    reasons.push_back(name + " is empty: the updater takes that for a failed download");
  }
  return a.complete && a.received > 0;
}

// With keys: fetches the signature file `sigName` beside `file` and checks it as an
// updater built with those keys would. Reports it on `out`; gives the reason it does
// not hold in `why` and false, or true.
bool SignatureFileHolds(const std::string& address, const std::string& name,
                        const std::string& sigName, const fs::path& file,
                        const std::vector<vlr::NamedKey>& keys, std::FILE* out, std::string& why) {
  const fs::path sigFile = file.parent_path() / PathFromUtf8(sigName);
  const HttpAnswer a = Fetch(address, sigName, sigFile, out, "");
  if (!a.answered || a.status >= 400 || !a.complete || a.received == 0) {
    std::fprintf(out, "\n");
    why = name + " has no " + sigName + " on the mirror";
    return false;
  }
  std::vector<std::span<const std::uint8_t>> points;
  for (const vlr::NamedKey& k : keys) points.emplace_back(k.point);
  std::optional<std::size_t> by;
  unsigned long ignored = 0;
  if (const std::unique_ptr<platform::PlainFile> page =
          platform::OpenPlainFile(file, platform::PlainFile::Mode::kRead, ignored)) {
    by = vlr::VerifyingKey(points, *page, platform::FromUtf8(Utf8FromPath(sigFile)));
  }
  if (by && keys.size() > 1) {
    std::fprintf(out, ", signature good, by the key in %s\n", keys[*by].name.c_str());
  } else {
    std::fprintf(out, ", signature %s\n", by ? "good" : "WRONG");
  }
  if (!by) {
    why = sigName + " is no signature of " + name +
          (keys.size() > 1 ? " by any of these keys" : " by this key");
  }
  return by.has_value();
}

// With keys: checks `name`'s signature, then, when that one does not hold, its second
// signature, as an updater built with those keys does. Adds the reason to `reasons` and
// gives false when the updater would stop there.
bool JudgeSignature(const std::string& address, const std::string& name, const fs::path& file,
                    const std::vector<vlr::NamedKey>& keys, std::FILE* out,
                    std::vector<std::string>& reasons) {
  std::string first, second;
  if (SignatureFileHolds(address, name, vlr::SignatureName(name), file, keys, out, first))
    return true;
  if (SignatureFileHolds(address, name, vlr::SecondSignatureName(name), file, keys, out, second))
    return true;
  reasons.push_back(first + ", and " + second + ": the updater refuses it as not authentic");
  return false;
}

// Warns about every line of the downloaded version file that was meant as its expiry
// line but that the updater ignores: it protects nothing, and nothing else would tell.
void WarnNearMissExpiry(const fs::path& page, std::FILE* out) {
  std::ifstream in(page, std::ios::binary);
  for (const vlr::NearMissExpiry& miss : vlr::NearMissExpiryLines(in)) {
    std::fprintf(out, "warning: line %zu of version.html, \"%s\", is no expiry line: %s\n",
                 miss.lineNumber, ShownName(miss.line).c_str(), miss.why.c_str());
  }
}

// Reports the day version.html expires, if it names one. With keys, as an updater with
// them: a day before today is a reason the update fails (false: the updater stops
// there), and a day within kExpiryWarningDays gets a warning. Without, a note: an
// updater without a key does not look at it.
bool JudgeExpiry(const std::optional<vlr::UtcDay>& expires, bool withKeys, std::FILE* out,
                 std::vector<std::string>& reasons) {
  if (!expires) return true;
  const vlr::UtcDay today = UtcToday();
  const std::string day = vlr::UtcDateText(*expires);
  const long long left = static_cast<long long>(*expires - today);
  std::fprintf(out, "expires: %s (UTC; today %s)\n", day.c_str(), vlr::UtcDateText(today).c_str());
  if (!withKeys) {
    if (vlr::HasExpired(*expires, today)) {
      std::fprintf(out, "note: version.html expired on %s; an updater without a key does not "
                        "look at it, one with a key refuses it as not authentic\n", day.c_str());
    }
    return true;
  }
  if (vlr::HasExpired(*expires, today)) {
    reasons.push_back(vlr::ExpiredText(*expires, today) +
                      ": the updater refuses it as not authentic before it fetches the package; "
                      "re-sign it with vlrpublish sign");
    return false;
  }
  if (left <= kExpiryWarningDays) {
    std::fprintf(out, "warning: version.html expires on %s, %s; after that day the updater "
                      "refuses it as not authentic: re-sign it with vlrpublish sign before then\n",
                 day.c_str(), left == 0 ? "today" : ("in " + std::to_string(left) + " day(s)").c_str());
  }
  return true;
}

// Reports the SHA-256 of the downloaded package `file` on `out` and, when version.html
// names one (`digest`), compares the two. Adds the reason to `reasons` and gives false
// when they differ (the updater deletes the package) or when the file cannot be read.
bool DigestAgrees(const std::string& name, const fs::path& file,
                  const std::optional<std::string>& digest, bool signedUpdater, std::FILE* out,
                  std::vector<std::string>& reasons) {
  const std::string actual = vlr::Sha256Hex(file);
  if (actual.empty()) {
    std::fprintf(out, "%s: SHA-256 unknown\n", name.c_str());
    if (!digest) return true;  // nothing to compare it with, as in the updater
    reasons.push_back("cannot read the downloaded " + name + " to compute its SHA-256");
    return false;
  }
  if (!digest) {
    std::fprintf(out, "%s: SHA-256 %s\n", name.c_str(), actual.c_str());
    return true;
  }
  if (actual == *digest) {
    std::fprintf(out, "%s: SHA-256 %s, as version.html names it\n", name.c_str(), actual.c_str());
    return true;
  }
  std::fprintf(out, "%s: SHA-256 %s, DIFFERS from version.html\n", name.c_str(), actual.c_str());
  reasons.push_back(name + " is not the package version.html names: version.html gives SHA-256 " +
                    *digest + ", the mirror's " + name + " has " + actual +
                    (signedUpdater ? "; the updater deletes it and refuses the update as not "
                                     "authentic"
                                   : "; the updater deletes it and reports an incomplete "
                                     "download"));
  return false;
}

}  // namespace

int CheckMirror(const CheckRequest& request, std::FILE* out) {
  // The mirror address as the updater's download makes it.
  const std::string address =
      platform::ToUtf8(vlr::NormalisedSiteAddress(platform::FromUtf8(request.site)));
  std::fprintf(out, "mirror: %s\n", address.c_str());
  const auto cannotCheck = [out](const std::string& why) {
    std::fprintf(out, "cannot check: %s\n", why.c_str());
    return kCheckCannotRun;
  };
  std::error_code ec;
  const fs::path temp = fs::temp_directory_path(ec);
  if (ec) return cannotCheck("no temporary folder (" + ec.message() + ")");
  std::vector<vlr::NamedKey> keys;  // the keys of --key, named by their files
  for (const fs::path& keyFile : request.keys) {
    const std::string keyName = Utf8FromPath(keyFile);
    std::string pem;
    unsigned long error = 0;
    if (!platform::ReadWholeFile(keyFile, pem, error))
      return cannotCheck("cannot read the key " + keyName + SystemReason(error));
    std::optional<std::vector<std::uint8_t>> point = vlr::P256PointFromPem(pem);
    // The private half is what make --sign takes; check needs the public one.
    if (!point && pem.find("PRIVATE KEY-----") != std::string::npos) {
      return cannotCheck(keyName + " is a private key; check takes its public half (make it "
                                   "with: openssl ec -in PRIVATE.pem -pubout -out public.pem)");
    }
    if (!point) return cannotCheck(keyName + " is not an ECDSA P-256 public key in PEM form");
    keys.push_back({keyName, *point});
  }
  // The rules of the build the keys stand for: a list it would refuse checks nothing.
  if (const std::string problem = vlr::KeyListProblem(keys); !problem.empty())
    return cannotCheck(problem + " (a build refuses that list of keys)");
  ScratchFolder downloads(temp, "vlrpublish-check");
  if (!downloads.error().empty()) return cannotCheck(downloads.error());

  std::vector<std::string> reasons;
  const std::string pageName = vlr::kVersionFileName;
  const fs::path page = downloads.path() / pageName;
  const HttpAnswer pageAnswer = Fetch(address, pageName, page, out);
  std::string digits;
  std::string name;                   // the package the updater would fetch
  std::optional<std::string> digest;  // the SHA-256 version.html names for it
  const bool pageFetched = Judge(pageName, pageAnswer, reasons);
  if (pageFetched) WarnNearMissExpiry(page, out);
  if (pageFetched &&
      (keys.empty() || JudgeSignature(address, pageName, page, keys, out, reasons))) {
    std::ifstream pageStream(page, std::ios::binary);
    digits = vlr::VersionDigits(pageStream);
    // From where the version reading stopped, as the updater reads it.
    const std::string wanted = digits.size() == 3 ? vlr::PackageName(digits, request.french) : "";
    const vlr::VersionTrailer trailer = vlr::ReadVersionTrailer(pageStream, wanted);
    // As in the updater, an expired version file is refused before its digits count.
    const bool current = JudgeExpiry(trailer.expires, !keys.empty(), out, reasons);
    if (current && digits.size() != 3) {
      std::fprintf(out, "digits: '%s' (no package name)\n", digits.c_str());
      reasons.push_back("version.html gives " + std::to_string(digits.size()) +
                        " digit(s) before its first empty line; the updater needs three");
    } else if (current) {
      name = wanted;
      digest = trailer.digest;
    }
  }

  if (!name.empty()) {
    std::fprintf(out, "digits: %s -> %s (Version %s)\n", digits.c_str(), name.c_str(),
                 vlr::DottedVersion(digits).c_str());
    if (digest) {
      std::fprintf(out, "digest line: %s SHA-256 %s\n", name.c_str(), digest->c_str());
    } else if (!keys.empty()) {
      // A signed updater stops here, before it requests the package.
      std::fprintf(out, "digest line: none for %s\n", name.c_str());
      reasons.push_back("version.html names no digest for " + name +
                        ": the updater refuses it as not authentic before it fetches the "
                        "package");
      name.clear();
    } else {
      std::fprintf(out,
                   "note: version.html names no digest for %s; an updater without a key "
                   "fetches it unchecked, one with a key refuses it as not authentic\n",
                   name.c_str());
    }
  }

  if (!name.empty()) {
    const fs::path zip = downloads.path() / name;
    const HttpAnswer zipAnswer = Fetch(address, name, zip, out, "\n", true);
    if (Judge(name, zipAnswer, reasons) &&
        DigestAgrees(name, zip, digest, !keys.empty(), out, reasons)) {
      if (zipAnswer.received > vlr::kMaxPackageBytes) {
        reasons.push_back(name + " is 2 GiB or larger: the updater cannot download it");
      }
      const LibraryOutcome test = TestLikeUpdater(zip);
      if (test.code == 0) {
        std::fprintf(out, "unpacks: yes (a test run of the extraction library, nothing written)\n");
      } else {
        std::fprintf(out, "unpacks: no (result %d)\n", test.code);
        reasons.push_back(name + " would not unpack: " + LibraryErrors(test.printed));
      }
    }
  }

  if (reasons.empty()) {
    std::fprintf(out, "an update from this mirror would succeed\n");
    return kCheckUpdateWorks;
  }
  std::fprintf(out, "an update from this mirror would fail:\n");
  for (const std::string& r : reasons) std::fprintf(out, "  - %s\n", r.c_str());
  return kCheckUpdateFails;
}

}  // namespace vlrpub
