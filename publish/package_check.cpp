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

// The extraction library unpacks nothing unless the members, with this much more, fit
// in the folder's free space (see unzip32/README.md).
constexpr std::uint64_t kLibrarySpare = 16u << 20;
constexpr std::uint64_t kLibraryPerFile = 4096;

// Empty when the library will find room to unpack files in `folder`; else a plain
// statement of the room the self-check needs, where.
std::string RoomProblem(const PackageFolder& files, const std::string& name,
                        const fs::path& folder) {
  std::error_code ec;
  const fs::space_info space = fs::space(folder, ec);
  if (ec) return {};  // a volume that cannot tell is not held up
  const std::uint64_t needed =
      files.totalSize + kLibrarySpare + kLibraryPerFile * files.files.size();
  if (space.available >= needed) return {};
  return "the self-check unpacks " + name + " in " + Utf8FromPath(folder) + " and needs " +
         std::to_string(needed) + " bytes free there (the files, plus the 16 MiB and 4 KiB a "
         "file that the extraction library keeps free), but only " +
         std::to_string(space.available) + " are free: make room there, or write the mirror "
         "on another volume";
}

}  // namespace

std::string CheckUnpacksToSources(const PackageFolder& files, const std::string& name,
                                  const fs::path& zip, const fs::path& beside,
                                  const std::string& stem) {
  if (std::string problem = RoomProblem(files, name, beside); !problem.empty()) return problem;
  ScratchFolder unpacked(beside, stem);
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
    if (!SameBytes(f.path, copy)) {
      if (ChangedSinceListed(f)) {
        return f.name + " changed while it was being packed into " + name +
               " (something wrote to it); make the mirror again once nothing writes to it";
      }
      return f.name + " does not come out of " + name + " as it went in";
    }
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
