#include "wizard/installed_version.h"

#include <fstream>
#include <system_error>

#include "platform/file_replacement.h"
#include "platform/plain_file.h"
#include "platform/text.h"

namespace vlr {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<std::string> ReadInstalledVersion(const std::wstring& folder) {
  try {
    std::ifstream in(platform::ToPath(folder + platform::FromUtf8(kInstalledVersionFile)),
                     std::ios::binary);
    char text[8] = {};
    in.read(text, sizeof text);
    const std::streamsize n = in.gcount();
    if (n < 3 || !IsDigit(text[0]) || !IsDigit(text[1]) || !IsDigit(text[2])) return std::nullopt;
    const std::string rest(text + 3, static_cast<std::size_t>(n - 3));
    if (!rest.empty() && rest != "\r\n" && rest != "\n") return std::nullopt;
    return std::string(text, 3);
  } catch (...) {
    return std::nullopt;
  }
}

bool RecordInstalledVersion(const std::wstring& folder, const std::string& digits) {
  try {
    const std::filesystem::path record =
        platform::ToPath(folder + platform::FromUtf8(kInstalledVersionFile));
    std::filesystem::path temporary = record;
    temporary += ".new";
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    std::unique_ptr<platform::PlainFile> file = platform::CreateLocalFile(temporary);
    const std::string text = digits + "\r\n";
    const bool written = file && file->Write(text.data(), text.size()) && file->Close();
    file.reset();
    // On the disk before it takes the record's name: after a power cut the record is
    // the old one or the new one, never an empty file that would let an older version
    // back in.
    if (written && platform::FlushToDisk(temporary) && platform::MoveIntoPlace(temporary, record)) {
      platform::FlushToDisk(record.parent_path());
      return true;
    }
    std::filesystem::remove(temporary, ignored);
    return false;
  } catch (...) {
    return false;
  }
}

}  // namespace vlr
