#include "platform/folder_source.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/system_error_text.h"
#include "platform/text.h"

namespace platform {

InternetHandle FolderSource::InternetOpenA(const char*, std::uint32_t, const char*, const char*,
                                           std::uint32_t) {
  return next_++;
}

InternetHandle FolderSource::InternetOpenUrlA(InternetHandle session, const char* url,
                                              const char*, std::uint32_t, std::uint32_t,
                                              std::uintptr_t) {
  if (!session || !url) return 0;
  std::wstring text = FromAnsi(url);
  // On Linux an absolute path comes as "file://" and the path (mirror/folder_address.h).
  if (text.compare(0, 7, L"file://") == 0) text.erase(0, 7);
  const std::filesystem::path path = ToPath(text);
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(path, ec);
  if (ec || !std::filesystem::exists(status)) {
    lastError_ = "no such file";
    return 0;
  }
  // A folder, a pipe or a device is no mirror's file (a pipe could block for ever).
  if (!std::filesystem::is_regular_file(status)) {
    lastError_ = "not a regular file";
    return 0;
  }
  unsigned long error = 0;
  Open open;
  open.file = OpenPlainFile(path, PlainFile::Mode::kRead, error);
  if (!open.file) {
    lastError_ = SystemErrorText(error);
    return 0;
  }
  open.size = std::filesystem::file_size(path, ec);
  if (ec) open.size = 0;
  const InternetHandle handle = next_++;
  files_.emplace(handle, std::move(open));
  return handle;
}

bool FolderSource::InternetReadFile(InternetHandle file, void* buffer, std::uint32_t bytesToRead,
                                    std::uint32_t* bytesRead) {
  if (bytesRead) *bytesRead = 0;
  auto it = files_.find(file);
  if (it == files_.end() || !buffer || !bytesRead) return false;
  Open& open = it->second;
  if (open.at == open.filled) {
    if (!open.block) open.block = std::make_unique<char[]>(kBlockBytes);
    open.at = open.filled = 0;
    if (!open.file->Read(open.block.get(), kBlockBytes, open.filled)) {
      lastError_ = SystemErrorText(open.file->Error());
      return false;
    }
  }
  const std::size_t n = std::min<std::size_t>(bytesToRead, open.filled - open.at);
  std::memcpy(buffer, open.block.get() + open.at, n);
  open.at += n;
  *bytesRead = static_cast<std::uint32_t>(n);
  return true;
}

bool FolderSource::InternetCloseHandle(InternetHandle handle) {
  return files_.erase(handle) > 0 || handle != 0;
}

bool FolderSource::HttpQueryInfoA(InternetHandle file, std::uint32_t infoLevel, void* buffer,
                                  std::uint32_t* bufferLength, std::uint32_t*) {
  auto it = files_.find(file);
  if (it == files_.end() || !buffer || !bufferLength) return false;
  if (infoLevel == (kHttpQueryStatusCode | kHttpQueryFlagNumber))
    return CopyAnswerNumber(200, buffer, bufferLength);
  if (infoLevel == kHttpQueryContentLength)
    return CopyAnswerText(std::to_string(it->second.size), buffer, bufferLength);
  return false;
}

template <>
FolderSource& DefaultService<FolderSource>() {
  static FolderSource source;
  return source;
}

}  // namespace platform
