#include "vlrpublish/mirror_make.h"

#include <iterator>
#include <optional>
#include <vector>

#include "mirror/mirror_rules.h"
#include "vlrpublish/command_report.h"
#include "vlrpublish/file_identity.h"
#include "vlrpublish/mirror_folder.h"
#include "vlrpublish/mirror_sign.h"
#include "mirror/package_digest.h"
#include "vlrpublish/package_signing.h"
#include "vlrpublish/package_check.h"
#include "vlrpublish/package_folder.h"
#include "vlrpublish/progress_line.h"
#include "vlrpublish/release_names.h"
#include "vlrpublish/shown_text.h"
#include "vlrpublish/zip_writer.h"

namespace vlrpub {

namespace {

namespace fs = std::filesystem;

struct Package {
  std::string label;  // "the English folder"
  fs::path source;
  std::string name;  // vlr753.zip
  PackageFolder files;
};

fs::path Resolved(const fs::path& p) {
  std::error_code ec;
  fs::path r = fs::weakly_canonical(fs::absolute(p, ec), ec);
  return ec ? fs::absolute(p, ec).lexically_normal() : r;
}

std::string ChangedWhilePacked(const Package& p, const PackageFile& f) {
  return f.name + " in " + p.label + " changed while it was being packed into " + p.name +
         " (something wrote to it); make the mirror again once nothing writes to the folder";
}

// Empty when the package was written; else why not.
std::string WritePackage(const Package& p, const fs::path& zip) {
  ProgressLine progress(p.name + ": packing", p.files.totalSize);
  std::uint64_t before = 0;
  ZipWriter writer(zip);
  for (const PackageFile& f : p.files.files) {
    const auto shown = [&](std::uint64_t done) { progress.Update(before + done); };
    if (!writer.Add(f.name, f.path, f.utcSeconds, shown)) {
      return ChangedSinceListed(f) ? ChangedWhilePacked(p, f) : writer.error();
    }
    // A file that grew or shrank after it was listed would leave the totals wrong.
    if (ChangedSinceListed(f)) return ChangedWhilePacked(p, f);
    before += f.size;
  }
  if (!writer.Finish()) return writer.error();
  std::error_code ec;
  const std::uint64_t size = fs::file_size(zip, ec);
  if (ec) return "cannot read back " + p.name + ": " + ec.message();
  if (size > vlr::kMaxPackageBytes) {
    return p.name + " would be " + std::to_string(size) +
           " bytes; the updater cannot download a package of 2 GiB or more";
  }
  return {};
}

}  // namespace

int MakeMirror(const MakeRequest& request, std::FILE* out, std::FILE* err) {
  const CommandReport report("make", "written", err);
  std::vector<std::string> refusals;
  std::string why;
  const std::string digits = ReleaseDigits(request.version, why);
  if (digits.empty()) refusals.push_back(why);

  std::vector<Package> packages;
  packages.push_back({"the English folder", request.english, vlr::PackageName(digits, false), {}});
  if (request.french) {
    packages.push_back({"the French folder", *request.french, vlr::PackageName(digits, true), {}});
  }
  std::optional<PackageSigner> signer;
  if (request.signingKey) {
    signer.emplace(*request.signingKey);
    if (!signer->error().empty()) refusals.push_back(signer->error());
  }
  std::optional<PackageSigner> secondSigner;
  if (request.secondSigningKey) {
    secondSigner.emplace(*request.secondSigningKey);
    if (!secondSigner->error().empty()) {
      refusals.push_back(secondSigner->error());
    } else if (signer && signer->error().empty() &&
               signer->publicPoint() == secondSigner->publicPoint()) {
      refusals.push_back("the two --sign keys are one key: a second signature must be by "
                         "another key");
    }
  }
  fs::path mirror = Resolved(request.mirror);
  if (!mirror.has_filename()) mirror = mirror.parent_path();  // "out/" names "out"
  // One run at a time on a mirror: another one's working folders are not leftovers.
  std::optional<MirrorLock> lock;
  if (mirror.has_filename() && fs::is_directory(mirror.parent_path())) {
    lock.emplace(mirror);
    if (!lock->held()) return report.Refused({lock->why()});
    // An earlier run that was cut short is mended first: its old mirror put back, its
    // working folders removed.
    if (const std::string line = RecoverInterruptedRun(mirror); !line.empty())
      std::fprintf(err, "%s\n", line.c_str());
  }
  for (Package& p : packages) {
    p.files = ReadPackageFolder(p.source, p.label);
    refusals.insert(refusals.end(), p.files.problems.begin(), p.files.problems.end());
    for (const std::string& w : p.files.warnings)
      report.Line("warning: " + w);
    // By identity, not spelling: case, links, short names and separators all vary.
    if (FoldersOverlap(mirror, p.source)) {
      refusals.push_back("the mirror folder " + Utf8FromPath(mirror) + " and " + p.label +
                         " overlap; the mirror must be a folder of its own");
    }
  }
  std::error_code ec;
  const fs::file_status existing = fs::symlink_status(mirror, ec);
  if (fs::exists(existing)) {
    std::size_t more = 0;
    if (!fs::is_directory(existing)) {
      refusals.push_back(Utf8FromPath(mirror) + " exists and is not a folder");
    } else if (const std::vector<std::string> foreign = ForeignEntries(mirror, 5, more);
               !foreign.empty()) {
      // Replacing the folder would delete these: never, whatever the options.
      std::string names;
      for (const std::string& f : foreign) names += (names.empty() ? "" : ", ") + f;
      if (more) names += " and " + std::to_string(more) + " more";
      refusals.push_back("the mirror folder " + Utf8FromPath(mirror) +
                         " holds what is not a mirror's: " + names +
                         ". make replaces only a folder that holds nothing but version.html, "
                         "vlr*.zip and their .sig files, even with --force: give a new folder");
    } else if (!request.force) {
      refusals.push_back("the mirror folder " + Utf8FromPath(mirror) +
                         " exists; add --force to replace it");
    }
  }
  if (!mirror.has_filename() || mirror == mirror.root_path()) {
    refusals.push_back("the mirror must be a folder below another one, not " +
                       Utf8FromPath(mirror));
  } else if (!fs::is_directory(mirror.parent_path(), ec)) {
    refusals.push_back("the folder that is to hold the mirror, " +
                       Utf8FromPath(mirror.parent_path()) + ", does not exist");
  }
  if (!refusals.empty()) return report.Refused(refusals);
  ScratchFolder built(mirror.parent_path(), WorkingFolderStem(mirror.filename(), "new"));
  if (!built.error().empty()) return report.Failed(built.error());

  // The packages first: version.html names each one's SHA-256, taken from the file
  // once it has passed the self-check.
  std::vector<NamedDigest> digests;
  for (const Package& p : packages) {
    const fs::path zip = built.path() / p.name;
    std::string failure = WritePackage(p, zip);
    if (failure.empty()) {
      failure = CheckUnpacksToSources(p.files, p.name, zip, mirror.parent_path(),
                                      WorkingFolderStem(mirror.filename(), "check"));
    }
    if (!failure.empty()) return report.Failed(failure);
    std::string hex = vlr::Sha256Hex(zip);
    if (hex.empty()) return report.Failed("cannot read back " + p.name + " to compute its SHA-256");
    digests.emplace_back(p.name, std::move(hex));
  }

  const fs::path page = built.path() / vlr::kVersionFileName;
  const std::optional<vlr::UtcDay> expires = ExpiryDay(request.expiresInDays);
  // The first failure ends the run.
  std::string failure = WriteFile(page, VersionPage(digits, digests, expires));
  // Read back as the updater reads it: the digits up to the first empty line, then, from
  // there, the digest line of the package it fetches and the expiry.
  if (failure.empty()) failure = ReadBackFailure(page, digits, digests, expires);
  // version.html alone: its digest lines cover the packages.
  if (failure.empty() && signer) failure = SignVersionPage(*signer, secondSigner, page);
  if (failure.empty()) failure = PutInPlace(built, mirror, fs::exists(existing));
  if (!failure.empty()) return report.Failed(failure);

  std::fprintf(out,
               "version.html: the updater reads %s (Version %s); it names the SHA-256 of "
               "each package\n",
               digits.c_str(), vlr::DottedVersion(digits).c_str());
  for (std::size_t i = 0; i < packages.size(); ++i) {
    const Package& p = packages[i];
    const std::uint64_t size = fs::file_size(mirror / p.name, ec);
    std::fprintf(out,
                 "%s: %zu file(s), %llu bytes packed into %llu; unpacked again by the "
                 "extraction library, every file identical; SHA-256 %s\n",
                 p.name.c_str(), p.files.files.size(),
                 static_cast<unsigned long long>(p.files.totalSize),
                 static_cast<unsigned long long>(size), digests[i].second.c_str());
  }
  if (expires) {
    std::fprintf(out, "version.html expires on %s (UTC): %s\n", vlr::UtcDateText(*expires).c_str(),
                 signer ? "an updater with a key refuses it after that day; re-sign it before "
                          "then with vlrpublish sign"
                        : "an updater with a key refuses it after that day, once it is signed");
  }
  if (signer) {
    std::fprintf(out,
                 "signed: version.html.sig only, checked as the updater checks it (it covers "
                 "the packages through their SHA-256)\n");
  }
  if (secondSigner) {
    std::fprintf(out, "signed again: version.html.sig2, by the second key, checked as the "
                      "updater checks it (builds that trust that key read it when "
                      "version.html.sig does not verify with their keys)\n");
  }
  std::fprintf(out, "mirror written: %s\n", Utf8FromPath(mirror).c_str());
  return kDone;
}

}  // namespace vlrpub
