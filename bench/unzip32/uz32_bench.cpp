// Times unzip32 against bsdtar on the same package, in the same run:
//   uz32_bench EXTRACTOR PACKAGE WORKDIR [ROUNDS=5]
// Each round extracts the package once with each tool (alternating which goes first)
// into an empty folder, as a child process; wall time from a steady clock, CPU time and
// peak resident memory from wait4(). Prints the medians and the time ratio.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

struct Sample {
  double wall = 0, cpu = 0;
  long maxRssKib = 0;
};

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
  s.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  s.cpu = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
          usage.ru_stime.tv_usec / 1e6;
  s.maxRssKib = usage.ru_maxrss;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "%s failed (status %d)\n", args[0].c_str(), status);
    std::exit(1);
  }
  return s;
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

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s EXTRACTOR PACKAGE WORKDIR [ROUNDS]\n", argv[0]);
    return 2;
  }
  const std::string extractor = argv[1], package = argv[2];
  const fs::path work = argv[3];
  const int rounds = argc > 4 ? std::max(1, std::atoi(argv[4])) : 5;
  const fs::path ours = work / "unzip32", theirs = work / "bsdtar";

  auto once = [&](bool library) {
    const fs::path out = library ? ours : theirs;
    fs::remove_all(out);
    fs::create_directories(out);
    return library ? RunChild({extractor, package, out.string() + "/"})
                   : RunChild({"bsdtar", "-xf", package, "-C", out.string()});
  };
  once(true);  // warm the page cache for both
  once(false);
  if (TreeBytes(ours) != TreeBytes(theirs)) {
    std::fprintf(stderr, "the two extractions differ in size\n");
    return 1;
  }
  std::vector<double> wallOurs, wallTheirs, cpuOurs, cpuTheirs;
  long rssOurs = 0, rssTheirs = 0;
  for (int r = 0; r < rounds; ++r) {
    for (int k = 0; k < 2; ++k) {
      const bool library = (r + k) % 2 == 0;
      const Sample s = once(library);
      (library ? wallOurs : wallTheirs).push_back(s.wall);
      (library ? cpuOurs : cpuTheirs).push_back(s.cpu);
      long& rss = library ? rssOurs : rssTheirs;
      rss = std::max(rss, s.maxRssKib);
    }
  }
  const double ratio = Median(wallOurs) / Median(wallTheirs);
  std::printf("package %s (%.1f MiB, %.1f MiB extracted), %d rounds\n", package.c_str(),
              fs::file_size(package) / 1048576.0, TreeBytes(ours) / 1048576.0, rounds);
  std::printf("unzip32: wall %.3f s  cpu %.3f s  peak RSS %ld KiB\n", Median(wallOurs),
              Median(cpuOurs), rssOurs);
  std::printf("bsdtar : wall %.3f s  cpu %.3f s  peak RSS %ld KiB\n", Median(wallTheirs),
              Median(cpuTheirs), rssTheirs);
  std::printf("time ratio unzip32/bsdtar: %.3f (goal <= 1.10)\n", ratio);
  fs::remove_all(ours);
  fs::remove_all(theirs);
  return 0;
}
