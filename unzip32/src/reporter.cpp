#include "reporter.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "dos_time.h"
#include "member_kind.h"
#include "os/platform_text.h"

namespace uz32 {
namespace {

int32_t Saturate32(uint64_t v) {
  return static_cast<int32_t>(std::min<uint64_t>(v, std::numeric_limits<int32_t>::max()));
}

// Sizes for the message procedure, whose callers read them as signed 32-bit numbers:
// a member of 2 GiB or more shows as 2,147,483,647 rather than as a negative size.
uint32_t SaturateSize(uint64_t v) { return static_cast<uint32_t>(Saturate32(v)); }

}  // namespace

void Wipe(std::span<char> secret) {
  volatile char* v = secret.data();
  for (size_t i = 0; i < secret.size(); ++i) v[i] = 0;
}

Reporter::Reporter(UnzipCallbacksRecord* callbacks, int32_t quiet)
    : cb_(callbacks), quiet_(quiet) {}

Reporter::~Reporter() { Wipe(password_); }

void Reporter::Fill(std::span<char> buffer, std::string_view ansi) {
  std::fill(buffer.begin(), buffer.end(), 0);
  std::memcpy(buffer.data(), ansi.data(), std::min(ansi.size(), buffer.size() - 1));
}

void Reporter::Print(std::string_view utf8) {
  if (!cb_ || !cb_->Print) return;
  const std::string ansi = AnsiFromUtf8(utf8);
  std::string_view rest = ansi;
  while (!rest.empty()) {
    const size_t n = std::min(rest.size(), kLargeBuffer - 1);
    std::memcpy(large_.data(), rest.data(), n);
    large_[n] = 0;
    cb_->Print(large_.data(), static_cast<int32_t>(n));
    rest.remove_prefix(n);
  }
}

void Reporter::Info(std::string_view utf8) {
  if (quiet_ == 0) Print(std::string(utf8) + "\n");
}

void Reporter::Error(std::string_view utf8) {
  if (quiet_ < 2) Print("error: " + std::string(utf8) + "\n");
}

void Reporter::Text(std::string_view utf8) {
  if (quiet_ < 2) Print(utf8);
}

bool Reporter::ServiceSaysStop(const std::string& nameUtf8, uint64_t size) {
  if (!cb_ || !cb_->Service) return false;
  Fill(name_, AnsiFromUtf8(nameUtf8));
  return cb_->Service(name_.data(), Saturate32(size)) != 0;
}

ReplaceAnswer Reporter::AskReplace(const std::string& pathUtf8) {
  if (!cb_ || !cb_->Replace) return ReplaceAnswer::Keep;
  Fill(large_, AnsiFromUtf8(pathUtf8));
  switch (cb_->Replace(large_.data())) {
    case UNZIP_REPLACE_YES:
      return ReplaceAnswer::Replace;
    case UNZIP_REPLACE_ALL:
      return ReplaceAnswer::ReplaceAll;
    case UNZIP_REPLACE_KEEP_ALL:
      return ReplaceAnswer::KeepAll;
    default:
      return ReplaceAnswer::Keep;
  }
}

PasswordReply Reporter::AskPassword(const std::string& nameUtf8, std::string& password) {
  if (!cb_ || !cb_->Password) return PasswordReply::Unavailable;
  Fill(name_, AnsiFromUtf8(nameUtf8));
  Fill(large_, AnsiFromUtf8("Password for " + nameUtf8 + ": "));
  Wipe(password_);
  const int32_t rc = cb_->Password(password_.data(), static_cast<int32_t>(kSmallBuffer),
                                   large_.data(), name_.data());
  if (rc != 0) return PasswordReply::Declined;
  password.assign(password_.data(), strnlen(password_.data(), kSmallBuffer));
  Wipe(password_);
  return PasswordReply::Given;
}

void Reporter::Report(const MemberReport& m) {
  if (!cb_ || !cb_->Message) return;
  const DosStamp d = DecodeDosStamp(m.dosDate, m.dosTime);
  Fill(name_, AnsiFromUtf8(m.nameUtf8));
  Fill(method_, m.method);
  cb_->Message(SaturateSize(m.uncompressedSize), SaturateSize(m.compressedSize),
               CompressionFactor(m.compressedSize, m.uncompressedSize), static_cast<uint32_t>(d.month),
               static_cast<uint32_t>(d.day), static_cast<uint32_t>(d.year),
               static_cast<uint32_t>(d.hour), static_cast<uint32_t>(d.minute),
               m.text ? 't' : 'b', name_.data(), method_.data(), m.crc, m.encrypted ? 'E' : ' ');
}

void Reporter::SetTotals(uint64_t compressed, uint64_t uncompressed, uint64_t members,
                         size_t commentLength) {
  if (!cb_) return;
  cb_->TotalCompressedSize = Saturate32(compressed);
  cb_->TotalUncompressedSize = Saturate32(uncompressed);
  cb_->CompressionFactor = static_cast<int32_t>(CompressionFactor(compressed, uncompressed));
  cb_->MemberCount = Saturate32(members);
  // The field is 16 bits wide and comments are at most 65,535 bytes: read it unsigned.
  cb_->CommentLength = static_cast<int16_t>(static_cast<uint16_t>(commentLength));
}

}  // namespace uz32
