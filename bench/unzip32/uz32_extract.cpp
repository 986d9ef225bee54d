// Extracts one archive into one folder through unzip32 with the updater's options, for
// the benchmark and the power-cut test: uz32_extract ARCHIVE FOLDER; or finishes what a
// cut-short one left: uz32_extract --recover FOLDER. Exit status: the library's result.
#include <cstdio>
#include <string>

#include "unzip32/unzip32.h"

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--recover") return UzpRecoverFolder(argv[2]);
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s ARCHIVE FOLDER\n", argv[0]);
    return 2;
  }
  std::string archive = argv[1];
  std::string folder = argv[2];
  UnzipOptionsRecord options{};
  options.PromptToOverwrite = 1;
  options.OverwriteAll = 1;
  options.Quiet = 2;
  options.ZipFileName = archive.data();
  options.ExtractFolder = folder.data();
  UnzipCallbacksRecord callbacks{};
  UnzipNameListRecord include{};
  UnzipNameListRecord exclude{};
  const int32_t rc = Wiz_SingleEntryUnzip(0, include.Names, 0, exclude.Names, &options, &callbacks);
  if (rc != 0) std::fprintf(stderr, "unzip32 result %d\n", static_cast<int>(rc));
  return rc;
}
