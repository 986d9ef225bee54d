// Times unzip32 against bsdtar on the same package, in the same run:
//   uz32_bench EXTRACTOR PACKAGE WORKDIR [ROUNDS=5] [WORKERS]
// Each round extracts the package once with each tool (alternating which goes first)
// into an empty folder, as a child process, each after an untimed sync so that neither
// pays for the other's unwritten data. unzip32 writes every file through to the disk
// and bsdtar nothing, so bsdtar is also timed with the sync -f of its folder that makes
// its files as durable. WORKERS sets UZ32_WORKERS for the extractor (default: the
// library's own choice). Wall time from a steady clock, CPU time and peak resident
// memory from wait4(). Prints the medians and the spread of the per-round ratios.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

struct Sample {
  double wall = 0, cpu = 0;
  long maxRssKib = 0;
};

double Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Runs argv to completion; the sample or, on failure, exits the benchmark.
Sample RunChild(const std::vector<std::string>& args) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  Sample s;
  s.wall = Since(start);
  s.cpu = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
          usage.ru_stime.tv_usec / 1e6;
  s.maxRssKib = usage.ru_maxrss;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "%s failed (status %d)\n", args[0].c_str(), status);
    std::exit(1);
  }
  return s;
}

// sync -f FOLDER: the time to write out the file system that holds folder.
double SyncFolder(const fs::path& folder) {
  const auto start = std::chrono::steady_clock::now();
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0 || syncfs(fd) != 0) {
    std::perror("syncfs");
    std::exit(1);
  }
  close(fd);
  return Since(start);
}

uintmax_t TreeBytes(const fs::path& dir) {
  uintmax_t total = 0;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    if (e.is_regular_file()) total += e.file_size();
  }
  return total;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// "median (min-max)" of the ratios a[i] / b[i].
std::string Ratios(const std::vector<double>& a, const std::vector<double>& b) {
  std::vector<double> r;
  for (size_t i = 0; i < a.size(); ++i) r.push_back(a[i] / b[i]);
  std::sort(r.begin(), r.end());
  char text[64];
  std::snprintf(text, sizeof text, "%.2f (%.2f-%.2f)", Median(r), r.front(), r.back());
  return text;
}

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s EXTRACTOR PACKAGE WORKDIR [ROUNDS] [WORKERS]\n", argv[0]);
    return 2;
  }
  const std::string extractor = argv[1], package = argv[2];
  const fs::path work = argv[3];
  const int rounds = argc > 4 ? std::max(1, std::atoi(argv[4])) : 5;
  if (argc > 5 && *argv[5]) setenv("UZ32_WORKERS", argv[5], 1);
  const char* workers = std::getenv("UZ32_WORKERS");
  const fs::path ours = work / "unzip32", theirs = work / "bsdtar";

  auto once = [&](bool library) {
    const fs::path out = library ? ours : theirs;
    fs::remove_all(out);
    fs::create_directories(out);
    sync();
    return library ? RunChild({extractor, package, out.string() + "/"})
                   : RunChild({"bsdtar", "-xf", package, "-C", out.string()});
  };
  once(true);  // warm the page cache for both
  once(false);
  if (TreeBytes(ours) != TreeBytes(theirs)) {
    std::fprintf(stderr, "the two extractions differ in size\n");
    return 1;
  }
  std::vector<double> wallOurs, wallTheirs, wallDurable, cpuOurs, cpuTheirs;
  long rssOurs = 0, rssTheirs = 0;
  for (int r = 0; r < rounds; ++r) {
    for (int k = 0; k < 2; ++k) {
      const bool library = (r + k) % 2 == 0;
      const Sample s = once(library);
      (library ? wallOurs : wallTheirs).push_back(s.wall);
      (library ? cpuOurs : cpuTheirs).push_back(s.cpu);
      if (!library) wallDurable.push_back(s.wall + SyncFolder(theirs));
      long& rss = library ? rssOurs : rssTheirs;
      rss = std::max(rss, s.maxRssKib);
    }
  }
  std::printf("package %s (%.1f MiB, %.1f MiB extracted), %d rounds, workers %s\n",
              package.c_str(), fs::file_size(package) / 1048576.0, TreeBytes(ours) / 1048576.0,
              rounds, workers ? workers : "default");
  std::printf("unzip32          : wall %.3f s  cpu %.3f s  peak RSS %ld KiB\n", Median(wallOurs),
              Median(cpuOurs), rssOurs);
  std::printf("bsdtar           : wall %.3f s  cpu %.3f s  peak RSS %ld KiB\n", Median(wallTheirs),
              Median(cpuTheirs), rssTheirs);
  std::printf("bsdtar + sync -f : wall %.3f s\n", Median(wallDurable));
  std::printf("unzip32 / bsdtar          per round: %s\n", Ratios(wallOurs, wallTheirs).c_str());
  std::printf("unzip32 / (bsdtar + sync) per round: %s\n", Ratios(wallOurs, wallDurable).c_str());
  fs::remove_all(ours);
  fs::remove_all(theirs);
  return 0;
}
