#include "publish/mirror_make.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <set>
#include <vector>

#include "publish/library_run.h"
#include "publish/package_folder.h"
#include "publish/progress_line.h"
#include "publish/release_names.h"
#include "publish/scratch_folder.h"
#include "publish/utf8_path.h"
#include "publish/zip_writer.h"
#include "wizard/version_file.h"

namespace vlrpub {

namespace {

namespace fs = std::filesystem;

// The updater counts the bytes it receives in a signed 32-bit number.
constexpr std::uint64_t kMaxPackageBytes = 0x7FFFFFFFull;

struct Package {
  std::string label;  // "the English folder"
  fs::path source;
  std::string name;  // vlr753.zip
  PackageFolder files;
};

void Report(std::FILE* err, const std::string& head, const std::vector<std::string>& lines) {
  std::fprintf(err, "vlrpublish make: %s\n", head.c_str());
  for (const std::string& line : lines) std::fprintf(err, "  - %s\n", line.c_str());
}

fs::path Resolved(const fs::path& p) {
  std::error_code ec;
  fs::path r = fs::weakly_canonical(fs::absolute(p, ec), ec);
  return ec ? fs::absolute(p, ec).lexically_normal() : r;
}

// True when a is b or lies inside it.
bool Within(const fs::path& a, const fs::path& b) {
  auto ai = a.begin();
  for (auto bi = b.begin(); bi != b.end(); ++bi, ++ai) {
    if (bi->empty()) continue;  // a trailing separator
    if (ai == a.end() || *ai != *bi) return false;
  }
  return true;
}

bool SameBytes(const fs::path& a, const fs::path& b) {
  std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
  if (!x || !y) return false;
  constexpr std::streamsize kChunk = 1 << 16;
  std::vector<char> bx(kChunk), by(kChunk);
  while (true) {
    x.read(bx.data(), kChunk);
    y.read(by.data(), kChunk);
    if (x.bad() || y.bad() || x.gcount() != y.gcount()) return false;
    if (!std::equal(bx.begin(), bx.begin() + x.gcount(), by.begin())) return false;
    if (x.gcount() < kChunk) return true;  // both ended here
  }
}

std::string ReadFile(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

bool WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  f.close();
  return !f.fail();
}

// Empty when the package was written; else why not.
std::string WritePackage(const Package& p, const fs::path& zip) {
  ProgressLine progress(p.name + ": packing", p.files.totalSize);
  std::uint64_t before = 0;
  ZipWriter writer(zip);
  for (const PackageFile& f : p.files.files) {
    const auto shown = [&](std::uint64_t done) { progress.Update(before + done); };
    if (!writer.Add(f.name, f.path, f.utcSeconds, shown)) return writer.error();
    before += f.size;
  }
  if (!writer.Finish()) return writer.error();
  std::error_code ec;
  const std::uint64_t size = fs::file_size(zip, ec);
  if (ec) return "cannot read back " + p.name;
  if (size > kMaxPackageBytes) {
    return p.name + " would be " + std::to_string(size) +
           " bytes; the updater cannot download a package of 2 GiB or more";
  }
  return {};
}

// Empty when the library unpacks the package into a fresh folder and every file there
// is the source file, byte for byte, with the source file's time; else what differs.
std::string CheckPackage(const Package& p, const fs::path& zip, const fs::path& beside) {
  ScratchFolder unpacked(beside, ".vlrpublish-check");
  if (!unpacked.error().empty()) return unpacked.error();
  const LibraryOutcome run = UnpackLikeUpdater(zip, unpacked.path());
  if (run.code != 0) {
    return "the extraction library refuses " + p.name + " (result " + std::to_string(run.code) +
           "): " + LibraryErrors(run.printed);
  }
  std::set<std::string> found;
  std::error_code ec;
  for (fs::directory_iterator it(unpacked.path(), ec), end; !ec && it != end; it.increment(ec))
    found.insert(Utf8FromPath(it->path().filename()));
  std::set<std::string> expected;
  for (const PackageFile& f : p.files.files) expected.insert(f.name);
  if (ec || found != expected) return p.name + " does not unpack to the files it was made of";
  ProgressLine progress(p.name + ": checking", p.files.totalSize);
  std::uint64_t done = 0;
  for (const PackageFile& f : p.files.files) {
    const fs::path copy = unpacked.path() / f.path.filename();
    if (!SameBytes(f.path, copy))
      return f.name + " does not come out of " + p.name + " as it went in";
    const auto t = fs::last_write_time(copy, ec);
    const auto seconds =
        std::chrono::floor<std::chrono::seconds>(std::chrono::file_clock::to_sys(t))
            .time_since_epoch()
            .count();
    // A FAT disk keeps times in two-second steps: closer than that is the same time.
    if (ec || seconds - f.utcSeconds > 2 || f.utcSeconds - seconds > 2)
      return f.name + " does not keep its time in " + p.name;
    done += f.size;
    progress.Update(done);
  }
  return {};
}

// Puts `built` in the place of `mirror`, moving an existing one aside first and back
// when the swap fails. Empty on success; else why, with the mirror as it was.
std::string PutInPlace(ScratchFolder& built, const fs::path& mirror, bool replace) {
  std::error_code ec;
  if (!replace) {
    fs::rename(built.path(), mirror, ec);
    if (ec) return "cannot rename the new mirror into place: " + ec.message();
    built.Keep();
    return {};
  }
  ScratchFolder aside(mirror.parent_path(), ".vlrpublish-old");
  if (!aside.error().empty()) return aside.error();
  const fs::path old = aside.path() / "mirror";
  fs::rename(mirror, old, ec);
  if (ec) return "cannot move the existing mirror folder aside: " + ec.message();
  fs::rename(built.path(), mirror, ec);
  if (ec) {
    std::error_code back;
    fs::rename(old, mirror, back);
    if (back) {
      aside.Keep();
      return "cannot rename the new mirror into place (" + ec.message() +
             "), and the old one could not be put back: it is in " + Utf8FromPath(old);
    }
    return "cannot rename the new mirror into place: " + ec.message();
  }
  built.Keep();
  return {};  // aside goes with the old mirror in it
}

}  // namespace

int MakeMirror(const MakeRequest& request, std::FILE* out, std::FILE* err) {
  std::vector<std::string> refusals;
  std::string why;
  const std::string digits = VersionDigits(request.version, why);
  if (digits.empty()) refusals.push_back(why);

  std::vector<Package> packages;
  packages.push_back({"the English folder", request.english, PackageName(digits, false), {}});
  if (request.french) {
    packages.push_back({"the French folder", *request.french, PackageName(digits, true), {}});
  }
  fs::path mirror = Resolved(request.mirror);
  if (!mirror.has_filename()) mirror = mirror.parent_path();  // "out/" names "out"
  for (Package& p : packages) {
    p.files = ReadPackageFolder(p.source, p.label);
    refusals.insert(refusals.end(), p.files.problems.begin(), p.files.problems.end());
    const fs::path source = Resolved(p.source);
    if (Within(mirror, source) || Within(source, mirror)) {
      refusals.push_back("the mirror folder " + Utf8FromPath(mirror) + " and " + p.label +
                         " overlap; the mirror must be a folder of its own");
    }
  }
  std::error_code ec;
  const fs::file_status existing = fs::symlink_status(mirror, ec);
  if (fs::exists(existing)) {
    if (!fs::is_directory(existing)) {
      refusals.push_back(Utf8FromPath(mirror) + " exists and is not a folder");
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
  if (!refusals.empty()) {
    Report(err, "refused, nothing was written:", refusals);
    return kMakeRefused;
  }

  const auto fail = [&](const std::string& what) {
    Report(err, "failed, the mirror folder is as it was:", {what});
    return kMakeFailed;
  };
  const std::string stem = "." + Utf8FromPath(mirror.filename()) + ".vlrpublish-new";
  ScratchFolder built(mirror.parent_path(), stem);
  if (!built.error().empty()) return fail(built.error());

  const fs::path page = built.path() / "version.html";
  if (!WriteFile(page, VersionPage(digits))) return fail("cannot write " + Utf8FromPath(page));
  if (const std::string read = vlr::VersionDigits(ReadFile(page)); read != digits) {
    return fail("the updater would read the version '" + read + "' from version.html");
  }
  for (const Package& p : packages) {
    const fs::path zip = built.path() / p.name;
    if (std::string failure = WritePackage(p, zip); !failure.empty()) return fail(failure);
    if (std::string failure = CheckPackage(p, zip, mirror.parent_path()); !failure.empty())
      return fail(failure);
  }
  if (std::string failure = PutInPlace(built, mirror, fs::exists(existing)); !failure.empty())
    return fail(failure);

  std::fprintf(out, "version.html: the updater reads %s (Version %s)\n", digits.c_str(),
               DottedVersion(digits).c_str());
  for (const Package& p : packages) {
    const std::uint64_t size = fs::file_size(mirror / p.name, ec);
    std::fprintf(out,
                 "%s: %zu file(s), %llu bytes packed into %llu; unpacked again by the "
                 "extraction library, every file identical\n",
                 p.name.c_str(), p.files.files.size(),
                 static_cast<unsigned long long>(p.files.totalSize),
                 static_cast<unsigned long long>(size));
  }
  std::fprintf(out, "mirror written: %s\n", Utf8FromPath(mirror).c_str());
  return kMakeDone;
}

}  // namespace vlrpub
