// The library's own entry point is compiled into vlrpublish, so the package is judged by
// the very code the updater loads, and vlrpublish needs no DLL beside it.
#include "publish/library_run.h"

#include <string_view>
#include <vector>

#include "platform/text.h"
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

std::string Ansi(const std::filesystem::path& path) {
#ifdef _WIN32
  return platform::ToAnsi(path.wstring());
#else
  return path.string();
#endif
}

LibraryOutcome Run(const std::filesystem::path& zip, const std::filesystem::path* folder) {
  std::string zipText = Ansi(zip);
  // The updater hands the folder over with a final separator.
  std::string folderText = folder ? Ansi(*folder) : std::string();
  if (folder) folderText += static_cast<char>(platform::kPathSeparator);
  std::vector<char> zipBuffer(zipText.begin(), zipText.end());
  zipBuffer.push_back('\0');
  std::vector<char> folderBuffer(folderText.begin(), folderText.end());
  folderBuffer.push_back('\0');

  UnzipOptionsRecord options{};
  options.PromptToOverwrite = 1;
  options.OverwriteAll = 1;
  options.TestArchive = folder ? 0 : 1;
  options.ZipFileName = zipBuffer.data();
  options.ExtractFolder = folder ? folderBuffer.data() : nullptr;
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

LibraryOutcome UnpackLikeUpdater(const std::filesystem::path& zip,
                                 const std::filesystem::path& folder) {
  return Run(zip, &folder);
}

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
    if (line.substr(0, kPrefix.size()) == kPrefix) {
      if (!out.empty()) out += "; ";
      out += line.substr(kPrefix.size());
    }
  }
  return out;
}

}  // namespace vlrpub
