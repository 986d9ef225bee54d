// The local file a download writes, behind a small service so that a test can
// stand in for the disk (a write that fails, a transfer too large to store).
#pragma once

#include <memory>
#include <string>

#include "platform/plain_file.h"
#include "platform/services.h"

namespace vlr {

class LocalFiles {
 public:
  virtual ~LocalFiles() = default;

  // Deletes the file at `path` if there is one. A folder is never deleted; every
  // failure (no such file, file in use, bad path) is ignored.
  virtual void Delete(const std::wstring& path) noexcept = 0;

  // Creates the file at `path` and opens it for writing, as platform::CreateLocalFile
  // does.
  virtual std::unique_ptr<platform::PlainFile> Create(const std::wstring& path) = 0;
};

}  // namespace vlr

namespace platform {

// The disk itself.
template <>
vlr::LocalFiles& DefaultService<vlr::LocalFiles>();

}  // namespace platform
