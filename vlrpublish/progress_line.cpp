#include "vlrpublish/progress_line.h"

#include "platform/console.h"

namespace vlrpub {

ProgressLine::ProgressLine(std::string what, std::uint64_t total, std::FILE* stream)
    : what_(std::move(what)),
      total_(total),
      stream_(stream),
      // A line rewritten with '\r' is for eyes: a captured log would keep every copy.
      terminal_(platform::IsTerminal(stream)) {}

ProgressLine::~ProgressLine() {
  if (!shown_) return;
  Show(last_);
  std::fputc('\n', stream_);
  std::fflush(stream_);
}

void ProgressLine::Update(std::uint64_t done) {
  last_ = done;
  if (!terminal_) return;
  // An unknown total counts as large once that much has come.
  if ((total_ ? total_ : done) < kLargeBytes) return;
  const auto now = std::chrono::steady_clock::now();
  if (shown_ && now - lastShown_ < std::chrono::seconds(1)) return;
  lastShown_ = now;
  Show(done);
}

void ProgressLine::Show(std::uint64_t done) {
  shown_ = true;
  constexpr double kMiB = 1024.0 * 1024.0;
  if (total_) {
    std::fprintf(stream_, "\r%s %.1f of %.1f MiB (%d%%)", what_.c_str(), done / kMiB, total_ / kMiB,
                 static_cast<int>(done * 100 / total_));
  } else {
    std::fprintf(stream_, "\r%s %.1f MiB", what_.c_str(), done / kMiB);
  }
  std::fflush(stream_);
}

}  // namespace vlrpub
