// The library's own entry point is compiled into vlrpublish, so the package is judged by
// the very code the updater loads, and vlrpublish needs no DLL beside it.
#include "vlrpublish/package_check.h"

#include <algorithm>
#include <optional>
#include <fstream>
#include <set>
#include <string_view>
#include <vector>

#include "platform/text.h"
#include "vlrpublish/mirror_folder.h"
#include "vlrpublish/progress_line.h"
#include "vlrpublish/shown_text.h"
#include "unzip32/unzip32.h"

namespace vlrpub {

namespace {

// The print procedure has no argument for its caller's data, so the text goes to the
// collector of the run under way on this thread.
thread_local std::string* tCollector = nullptr;

int32_t UZ_WINAPI CollectPrint(char* text, int32_t length) {
  if (tCollector && text && length > 0) tCollector->append(text, static_cast<size_t>(length));
  return length;
}

class CollectorScope {
 public:
  explicit CollectorScope(std::string& sink) : previous_(tCollector) { tCollector = &sink; }
  ~CollectorScope() { tCollector = previous_; }
  CollectorScope(const CollectorScope&) = delete;
  CollectorScope& operator=(const CollectorScope&) = delete;

 private:
  std::string* previous_;
};

// Unpacks zip into folder as the updater would; without a folder, the same run as a test.
LibraryOutcome Run(const std::filesystem::path& zip, const std::filesystem::path* folder) {
  std::string zipText = platform::AnsiPath(zip);
  // The updater hands the folder over with a final separator.
  std::string folderText = folder ? platform::AnsiPath(*folder) : std::string();
  if (folder) folderText += static_cast<char>(platform::kPathSeparator);

  UnzipOptionsRecord options{};
  options.PromptToOverwrite = 1;
  options.OverwriteAll = 1;
  options.TestArchive = folder ? 0 : 1;
  options.ZipFileName = zipText.data();
  options.ExtractFolder = folder ? folderText.data() : nullptr;
  UnzipNameListRecord include{}, exclude{};
  UnzipCallbacksRecord callbacks{};
  callbacks.Print = &CollectPrint;

  std::string ansiText;
  LibraryOutcome out;
  {
    CollectorScope scope(ansiText);
    out.code = Wiz_SingleEntryUnzip(0, include.Names, 0, exclude.Names, &options, &callbacks);
  }
  out.printed = platform::ToUtf8(platform::FromAnsi(ansiText));
  return out;
}

}  // namespace

LibraryOutcome TestLikeUpdater(const std::filesystem::path& zip) { return Run(zip, nullptr); }

std::string LibraryErrors(const std::string& printed) {
  std::string out;
  std::string_view rest = printed;
  while (!rest.empty()) {
    const size_t cut = rest.find('\n');
    std::string_view line = rest.substr(0, cut);
    rest.remove_prefix(cut == std::string_view::npos ? rest.size() : cut + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    constexpr std::string_view kPrefix = "error: ";
    if (line.starts_with(kPrefix)) {
      if (!out.empty()) out += "; ";
      out += line.substr(kPrefix.size());
    }
  }
  return out;
}

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
  const LibraryOutcome run = Run(zip, &unpacked.path());
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
    // A FAT disk keeps times in two-second steps: closer than that is the same time.
    const std::optional<std::int64_t> seconds = ModifiedUtc(copy);
    if (!seconds || *seconds - f.utcSeconds > 2 || f.utcSeconds - *seconds > 2)
      return f.name + " does not keep its time in " + name;
    done += f.size;
    progress.Update(done);
  }
  return {};
}

}  // namespace vlrpub
