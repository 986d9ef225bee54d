#include "publish/package_check.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <set>
#include <vector>

#include "publish/library_run.h"
#include "publish/progress_line.h"
#include "publish/scratch_folder.h"
#include "publish/utf8_path.h"

namespace vlrpub {

namespace {

namespace fs = std::filesystem;

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

}  // namespace

std::string CheckUnpacksToSources(const PackageFolder& files, const std::string& name,
                                  const fs::path& zip, const fs::path& beside) {
  ScratchFolder unpacked(beside, ".vlrpublish-check");
  if (!unpacked.error().empty()) return unpacked.error();
  const LibraryOutcome run = UnpackLikeUpdater(zip, unpacked.path());
  if (run.code != 0) {
    return "the extraction library refuses " + name + " (result " + std::to_string(run.code) +
           "): " + LibraryErrors(run.printed);
  }
  std::set<std::string> found;
  std::error_code ec;
  for (fs::directory_iterator it(unpacked.path(), ec), end; !ec && it != end; it.increment(ec))
    found.insert(Utf8FromPath(it->path().filename()));
  std::set<std::string> expected;
  for (const PackageFile& f : files.files) expected.insert(f.name);
  if (ec || found != expected) return name + " does not unpack to the files it was made of";
  ProgressLine progress(name + ": checking", files.totalSize);
  std::uint64_t done = 0;
  for (const PackageFile& f : files.files) {
    const fs::path copy = unpacked.path() / f.path.filename();
    if (!SameBytes(f.path, copy))
      return f.name + " does not come out of " + name + " as it went in";
    const auto t = fs::last_write_time(copy, ec);
    const auto seconds =
        std::chrono::floor<std::chrono::seconds>(std::chrono::file_clock::to_sys(t))
            .time_since_epoch()
            .count();
    // A FAT disk keeps times in two-second steps: closer than that is the same time.
    if (ec || seconds - f.utcSeconds > 2 || f.utcSeconds - seconds > 2)
      return f.name + " does not keep its time in " + name;
    done += f.size;
    progress.Update(done);
  }
  return {};
}

}  // namespace vlrpub
