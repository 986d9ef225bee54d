// Writes a zip package member by member into a new file. Each member is deflated, or
// stored when deflating does not make it smaller; it carries its name, its time (a local
// DOS stamp and the exact UTC seconds) and nothing that depends on the machine or the
// moment: fixed attributes, no other extra field, no comment, no data descriptor. The
// same members in the same order therefore always give the same bytes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/plain_file.h"

namespace vlrpub {

// Called while a member is read with the bytes of it read so far.
using ReadProgress = std::function<void(std::uint64_t)>;

class ZipWriter {
 public:
  // Creates (or truncates) the file at path. error() says when that failed.
  explicit ZipWriter(const std::filesystem::path& path);
  ZipWriter(const ZipWriter&) = delete;
  ZipWriter& operator=(const ZipWriter&) = delete;

  // Why the writer stopped; empty while all went well.
  const std::string& error() const { return error_; }

  // Appends the file at source as member `name` (UTF-8; flagged as such unless it is
  // plain ASCII), dated utcSeconds. Returns false when it failed (error() says why);
  // the archive is then of no use and every later call fails too.
  bool Add(const std::string& name, const std::filesystem::path& source, std::int64_t utcSeconds,
           const ReadProgress& progress = {});

  // Writes the central directory and closes the file. Returns false when it failed
  // (error() says why); the file is then of no use.
  bool Finish();

 private:
  struct Entry {
    std::string name;
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint16_t dosTime = 0;
    std::uint16_t dosDate = 0;
    std::uint32_t crc = 0;
    std::uint32_t compressedSize = 0;
    std::uint32_t size = 0;
    std::uint32_t offset = 0;
    std::int64_t utcSeconds = 0;
    bool hasUtc = false;
  };

  bool Fail(std::string why);
  bool WriteFailed();  // Fail with the system's reason for the package's last failure
  static void PutSharedFields(std::string& h, const Entry& e);
  bool WriteLocalHeader(const Entry& e);
  // Deflates source after the local header; sets e's crc and sizes.
  bool Deflate(const std::filesystem::path& source, Entry& e, const ReadProgress& progress);
  // Stores source after the local header; the crc must come out as e.crc.
  bool Store(const std::filesystem::path& source, Entry& e, const ReadProgress& progress);

  std::filesystem::path path_;
  std::unique_ptr<platform::PlainFile> out_;
  std::vector<Entry> entries_;
  std::uint64_t position_ = 0;  // where the next member's local header goes
  std::string error_;
};

}  // namespace vlrpub
