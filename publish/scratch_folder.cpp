#include "publish/scratch_folder.h"

#include <random>

#include "publish/interrupt_cleanup.h"
#include "publish/utf8_path.h"

namespace vlrpub {

ScratchFolder::ScratchFolder(const std::filesystem::path& parent, const std::string& stem) {
  std::random_device seed;
  std::mt19937 pick(seed());
  std::error_code ec;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path candidate =
        parent / PathFromUtf8(stem + "-" + std::to_string(pick() % 1000000000u));
    // Made and listed as one step: an interrupt finds it listed or not made.
    InterruptDeferred made;
    if (std::filesystem::create_directory(candidate, ec)) {
      path_ = candidate;
      interruptId_ = RemoveOnInterrupt(candidate);
      return;
    }
    if (ec) break;  // not a name that was taken: the parent itself refuses
  }
  error_ = "cannot make a folder in " + Utf8FromPath(parent) +
           (ec ? ": " + ec.message() : std::string());
}

void ScratchFolder::Keep() {
  kept_ = true;
  Forget(interruptId_);
}

ScratchFolder::~ScratchFolder() {
  if (kept_ || path_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
  Forget(interruptId_);
}

}  // namespace vlrpub
