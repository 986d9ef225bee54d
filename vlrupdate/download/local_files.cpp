#include "download/local_files.h"

#include <filesystem>
#include <system_error>

#include "platform/services.h"
#include "skip_on_error.h"
#include "platform/text.h"

namespace vlr {

namespace {

class DiskFiles final : public LocalFiles {
 public:
  void Delete(const std::wstring& path) noexcept override {
    SkipOnError([&] {
      std::error_code ec;
      std::filesystem::path p = platform::ToPath(path);
      std::filesystem::file_status status = std::filesystem::symlink_status(p, ec);
      if (ec || status.type() == std::filesystem::file_type::directory) return;
      std::filesystem::remove(p, ec);
    });
  }

  std::unique_ptr<platform::PlainFile> Create(const std::wstring& path) override {
    return platform::CreateLocalFile(platform::ToPath(path));
  }
};

}  // namespace

}  // namespace vlr

namespace platform {

template <>
vlr::LocalFiles& DefaultService<vlr::LocalFiles>() {
  static vlr::DiskFiles files;
  return files;
}

}  // namespace platform
