// A progress line on the error stream for work on a large file: rewritten in place at
// most about once a second, ended with a newline when the work is done. Small files
// (below the threshold) show nothing, nor does a stream that is not a terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>

namespace vlrpub {

class ProgressLine {
 public:
  static constexpr std::uint64_t kLargeBytes = 16ull * 1024 * 1024;

  // `what` heads the line ("vlr753.zip: packing"); total is 0 when unknown.
  ProgressLine(std::string what, std::uint64_t total, std::FILE* stream = stderr);
  ~ProgressLine();  // ends the line if one was shown
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  void Update(std::uint64_t done);
  // The total once it is known (a download's announced length).
  void SetTotal(std::uint64_t total) { total_ = total; }

 private:
  void Show(std::uint64_t done);

  std::string what_;
  std::uint64_t total_;
  std::FILE* stream_;
  bool terminal_;
  bool shown_ = false;
  std::uint64_t last_ = 0;
  std::chrono::steady_clock::time_point lastShown_{};
};

}  // namespace vlrpub
