#include "platform/plain_file.h"

namespace platform {

bool ReadWholeFile(const std::filesystem::path& path, std::string& bytes, unsigned long& error) {
  std::unique_ptr<PlainFile> file = OpenPlainFile(path, PlainFile::Mode::kRead, error);
  if (!file) return false;
  bytes.clear();
  char buffer[64 * 1024];
  for (std::size_t got = 0;; bytes.append(buffer, got)) {
    if (!file->Read(buffer, sizeof buffer, got)) {
      error = file->Error();
      return false;
    }
    if (got == 0) return true;
  }
}

bool WriteWholeFile(const std::filesystem::path& path, std::string_view bytes,
                    unsigned long& error) {
  std::unique_ptr<PlainFile> file = OpenPlainFile(path, PlainFile::Mode::kCreate, error);
  if (!file) return false;
  if (!file->Write(bytes.data(), bytes.size()) || !file->Close()) {
    error = file->Error();
    return false;
  }
  return true;
}

}  // namespace platform
