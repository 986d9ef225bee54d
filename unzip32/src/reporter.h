// Everything the run tells or asks its caller goes through here: printed lines, the
// per-member report, the service, overwrite and password procedures, the totals. Each
// procedure may be missing (null) in the callback record; the record itself may be null.
// Texts go out as ANSI in buffers of the sizes the caller's procedures are written for
// (257 bytes for names and passwords, 32,801 for printed text and the overwrite
// question's path), never longer than those.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "unzip32.h"

namespace uz32 {

// Overwrites a secret so it does not linger in memory.
void Wipe(std::span<char> secret);

enum class ReplaceAnswer { Keep, Replace, ReplaceAll, KeepAll };
enum class PasswordReply { Given, Declined, Unavailable };

struct MemberReport {
  std::string nameUtf8;
  uint64_t compressedSize = 0;
  uint64_t uncompressedSize = 0;
  uint16_t dosDate = 0;
  uint16_t dosTime = 0;
  std::string method;
  uint32_t crc = 0;
  bool encrypted = false;
  bool text = false;
};

class Reporter {
 public:
  static constexpr size_t kSmallBuffer = 257;
  static constexpr size_t kLargeBuffer = 32801;

  Reporter(UnzipCallbacksRecord* callbacks, int32_t quiet);
  ~Reporter();
  Reporter(const Reporter&) = delete;
  Reporter& operator=(const Reporter&) = delete;

  // A line of progress (quiet level 0 only); a newline is added.
  void Info(std::string_view utf8);
  // "error: " and the message (quiet levels 0 and 1); a newline is added.
  void Error(std::string_view utf8);
  // Text as it is (quiet levels 0 and 1): the archive comment.
  void Text(std::string_view utf8);

  // Calls the service procedure before a member; true when it asks to stop.
  bool ServiceSaysStop(const std::string& nameUtf8, uint64_t size);
  // The overwrite question for an existing file; Keep when there is no procedure or
  // its answer is none of 102, 103, 104.
  ReplaceAnswer AskReplace(const std::string& pathUtf8);
  // Asks for a password. Given: password holds the answer (possibly empty). Declined:
  // the procedure answered 1 (or anything but 0). Unavailable: no procedure.
  PasswordReply AskPassword(const std::string& nameUtf8, std::string& password);
  // The per-member message procedure.
  void Report(const MemberReport& m);
  // The totals of the callback record (saturated to their field widths).
  void SetTotals(uint64_t compressed, uint64_t uncompressed, uint64_t members,
                 size_t commentLength);

 private:
  void Print(std::string_view utf8);
  // Copies ANSI text into buffer, cut to fit with its zero byte.
  static void Fill(std::span<char> buffer, std::string_view ansi);

  UnzipCallbacksRecord* cb_;
  int32_t quiet_;
  std::vector<char> large_ = std::vector<char>(kLargeBuffer);
  std::array<char, kSmallBuffer> name_{};
  std::array<char, kSmallBuffer> method_{};
  std::array<char, kSmallBuffer + 1> password_{};  // one spare byte past the given size
};

}  // namespace uz32
