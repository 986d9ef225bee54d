// A folder of our own beside a target folder, removed with everything in it unless it
// is kept: where a mirror is built before it is renamed into place. While it exists it
// is also removed by an interrupt (see interrupt_cleanup.h).
#pragma once

#include <filesystem>
#include <string>

namespace vlrpub {

class ScratchFolder {
 public:
  // Creates a new, empty folder in `parent` named `stem` + "-" + a number. error()
  // says when none could be made (path() is then empty).
  ScratchFolder(const std::filesystem::path& parent, const std::string& stem);
  ~ScratchFolder();  // removes the folder and its contents unless Keep() was called
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  const std::string& error() const { return error_; }
  // The folder has been renamed away or handed on: nothing to remove, now or on an
  // interrupt.
  void Keep();

 private:
  std::filesystem::path path_;
  std::string error_;
  bool kept_ = false;
  unsigned interruptId_ = 0;
};

}  // namespace vlrpub
