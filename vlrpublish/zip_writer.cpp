#include "vlrpublish/zip_writer.h"

#include <zlib.h>

#include <algorithm>
#include <ctime>
#include <limits>
#include <memory>

#include "platform/local_time.h"
#include "platform/plain_file.h"
#include "platform/unique_handle.h"
#include "vlrpublish/shown_text.h"

namespace vlrpub {

namespace {

// The MS-DOS date and time a zip entry carries: local time in two-second steps.
struct DosStamp {
  std::uint16_t date = 0;
  std::uint16_t time = 0;
};

constexpr DosStamp kEarliest{(0u << 9) | (1u << 5) | 1u, 0};
constexpr DosStamp kLatest{(127u << 9) | (12u << 5) | 31u, (23u << 11) | (59u << 5) | 29u};

// utcSeconds as a local-time stamp, seconds rounded down to the two-second step. Times
// before 1980 give 1 January 1980 00:00, times after 2107 give 31 December 2107
// 23:59:58: the exact time travels in the entry's UTC field.
DosStamp DosStampOf(std::int64_t utcSeconds) {
  std::tm local{};
  if (!platform::LocalTime(utcSeconds, local)) return utcSeconds < 0 ? kEarliest : kLatest;
  const int year = local.tm_year + 1900;
  if (year < 1980) return kEarliest;
  if (year > 2107) return kLatest;
  DosStamp s;
  s.date =
      static_cast<std::uint16_t>(((year - 1980) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
  // A leap second (60) stays within the minute.
  const int seconds = local.tm_sec > 59 ? 59 : local.tm_sec;
  s.time = static_cast<std::uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) | (seconds / 2));
  return s;
}

// Reads until `size` bytes are in or the file ends; `got` says how many came.
bool ReadFull(platform::PlainFile& file, char* buffer, std::size_t size, std::size_t& got) {
  got = 0;
  for (std::size_t n = 1; got < size && n > 0; got += n) {
    if (!file.Read(buffer + got, size - got, n)) return false;
  }
  return true;
}

constexpr std::uint32_t kLocalHeaderSig = 0x04034b50;
constexpr std::uint32_t kCentralHeaderSig = 0x02014b50;
constexpr std::uint32_t kEndRecordSig = 0x06054b50;
constexpr std::uint16_t kMethodStored = 0;
constexpr std::uint16_t kMethodDeflated = 8;
constexpr std::uint16_t kFlagMaximumCompression = 1u << 1;
constexpr std::uint16_t kFlagUtf8Name = 1u << 11;
constexpr std::uint16_t kExtendedTimestampTag = 0x5455;
constexpr std::uint16_t kMadeByDos20 = 20;  // MS-DOS attributes, format 2.0
constexpr std::uint64_t kMax32 = std::numeric_limits<std::uint32_t>::max();
constexpr std::size_t kChunk = 256 * 1024;

void Put16(std::string& s, std::uint32_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>((v >> 8) & 0xFF);
}

void Put32(std::string& s, std::uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}

bool IsAscii(const std::string& s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return (c & 0x80) == 0; });
}

// The UTC modification time, in the same form in the local and the central header.
std::string TimestampField(std::int64_t utcSeconds) {
  std::string s;
  Put16(s, kExtendedTimestampTag);
  Put16(s, 5);
  s += '\x01';  // modification time present
  Put32(s, static_cast<std::uint32_t>(static_cast<std::int32_t>(utcSeconds)));
  return s;
}

std::uint16_t VersionNeeded(std::uint16_t method) { return method == kMethodStored ? 10 : 20; }

}  // namespace

ZipWriter::ZipWriter(const std::filesystem::path& path) : path_(path) {
  unsigned long error = 0;
  out_ = platform::OpenPlainFile(path, platform::PlainFile::Mode::kCreate, error);
  if (!out_) Fail("cannot create " + Utf8FromPath(path) + SystemReason(error));
}

bool ZipWriter::WriteFailed() {
  return Fail("cannot write " + Utf8FromPath(path_) + SystemReason(out_->Error()));
}

bool ZipWriter::Fail(std::string why) {
  if (error_.empty()) error_ = std::move(why);
  return false;
}

// The fields the local and the central header share, from "version needed" to the
// uncompressed size.
void ZipWriter::PutSharedFields(std::string& h, const Entry& e) {
  Put16(h, VersionNeeded(e.method));
  Put16(h, e.flags);
  Put16(h, e.method);
  Put16(h, e.dosTime);
  Put16(h, e.dosDate);
  Put32(h, e.crc);
  Put32(h, e.compressedSize);
  Put32(h, e.size);
}

bool ZipWriter::WriteLocalHeader(const Entry& e) {
  std::string h;
  Put32(h, kLocalHeaderSig);
  PutSharedFields(h, e);
  const std::string extra = e.hasUtc ? TimestampField(e.utcSeconds) : std::string();
  Put16(h, static_cast<std::uint32_t>(e.name.size()));
  Put16(h, static_cast<std::uint32_t>(extra.size()));
  h += e.name;
  h += extra;
  return (out_->Seek(e.offset) && out_->Write(h.data(), h.size())) || WriteFailed();
}

bool ZipWriter::Add(const std::string& name, const std::filesystem::path& source,
                    std::int64_t utcSeconds, const ReadProgress& progress) {
  if (!error_.empty()) return false;
  if (name.empty() || name.size() > 0xFFFF) return Fail("a member name is empty or too long");
  if (entries_.size() >= 0xFFFF) return Fail("a package holds at most 65,534 files");
  if (position_ > kMax32) return Fail("the package would pass 4 GiB");
  Entry e;
  e.name = name;
  e.flags = IsAscii(name) ? 0 : kFlagUtf8Name;
  e.method = kMethodDeflated;
  e.offset = static_cast<std::uint32_t>(position_);
  const DosStamp stamp = DosStampOf(utcSeconds);
  e.dosDate = stamp.date;
  e.dosTime = stamp.time;
  e.utcSeconds = utcSeconds;
  e.hasUtc = utcSeconds >= std::numeric_limits<std::int32_t>::min() &&
             utcSeconds <= std::numeric_limits<std::int32_t>::max();
  if (!WriteLocalHeader(e)) return false;
  if (!Deflate(source, e, progress)) return false;
  if (e.compressedSize >= e.size) {
    e.method = kMethodStored;
    if (!Store(source, e, progress)) return false;
  } else {
    e.flags |= kFlagMaximumCompression;
  }
  // Same length as before: only the fixed fields change.
  if (!WriteLocalHeader(e)) return false;
  const std::uint64_t dataStart = e.offset + 30 + e.name.size() + (e.hasUtc ? 9 : 0);
  position_ = dataStart + e.compressedSize;
  if (!out_->Seek(position_)) return WriteFailed();
  entries_.push_back(std::move(e));
  return true;
}

bool ZipWriter::Deflate(const std::filesystem::path& source, Entry& e,
                        const ReadProgress& progress) {
  unsigned long error = 0;
  const std::unique_ptr<platform::PlainFile> in =
      platform::OpenPlainFile(source, platform::PlainFile::Mode::kRead, error);
  if (!in) return Fail("cannot read " + Utf8FromPath(source) + SystemReason(error));
  z_stream zs{};
  if (deflateInit2(&zs, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    return Fail("out of memory");
  const std::unique_ptr<z_stream, platform::CloseWith<deflateEnd>> ended(&zs);
  auto input = std::make_unique<char[]>(kChunk);
  auto output = std::make_unique<char[]>(kChunk);
  std::uint64_t read = 0, written = 0;
  std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, nullptr, 0));
  bool finished = false;
  while (!finished) {
    std::size_t n = 0;
    if (!ReadFull(*in, input.get(), kChunk, n)) {
      return Fail("cannot read " + Utf8FromPath(source) + SystemReason(in->Error()));
    }
    const bool last = n < kChunk;
    read += static_cast<std::uint64_t>(n);
    if (read > kMax32) return Fail(Utf8FromPath(source) + " is 4 GiB or larger");
    crc = static_cast<std::uint32_t>(
        crc32(crc, reinterpret_cast<const Bytef*>(input.get()), static_cast<uInt>(n)));
    zs.next_in = reinterpret_cast<Bytef*>(input.get());
    zs.avail_in = static_cast<uInt>(n);
    do {
      zs.next_out = reinterpret_cast<Bytef*>(output.get());
      zs.avail_out = static_cast<uInt>(kChunk);
      const int r = deflate(&zs, last ? Z_FINISH : Z_NO_FLUSH);
      if (r == Z_STREAM_ERROR) return Fail("deflating " + Utf8FromPath(source) + " failed");
      const std::size_t produced = kChunk - zs.avail_out;
      if (!out_->Write(output.get(), produced)) return WriteFailed();
      written += produced;
      if (r == Z_STREAM_END) finished = true;
    } while (!finished && (zs.avail_out == 0 || last));
    if (progress) progress(read);
  }
  if (written > kMax32) return Fail("the package would pass 4 GiB");
  e.crc = crc;
  e.size = static_cast<std::uint32_t>(read);
  e.compressedSize = static_cast<std::uint32_t>(written);
  return true;
}

bool ZipWriter::Store(const std::filesystem::path& source, Entry& e, const ReadProgress& progress) {
  unsigned long error = 0;
  const std::unique_ptr<platform::PlainFile> in =
      platform::OpenPlainFile(source, platform::PlainFile::Mode::kRead, error);
  if (!in) return Fail("cannot read " + Utf8FromPath(source) + SystemReason(error));
  if (!out_->Seek(e.offset + 30 + e.name.size() + (e.hasUtc ? 9 : 0))) return WriteFailed();
  auto buffer = std::make_unique<char[]>(kChunk);
  std::uint64_t read = 0;
  std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, nullptr, 0));
  for (std::size_t n = kChunk; n == kChunk;) {
    if (!ReadFull(*in, buffer.get(), kChunk, n)) {
      return Fail("cannot read " + Utf8FromPath(source) + SystemReason(in->Error()));
    }
    read += n;
    crc = static_cast<std::uint32_t>(
        crc32(crc, reinterpret_cast<const Bytef*>(buffer.get()), static_cast<uInt>(n)));
    if (!out_->Write(buffer.get(), n)) return WriteFailed();
    if (progress) progress(read);
  }
  if (read != e.size || crc != e.crc) {
    return Fail(Utf8FromPath(source) + " changed while it was being packed");
  }
  e.compressedSize = e.size;
  return true;
}

bool ZipWriter::Finish() {
  if (!error_.empty()) return false;
  std::string central;
  for (const Entry& e : entries_) {
    Put32(central, kCentralHeaderSig);
    Put16(central, kMadeByDos20);
    PutSharedFields(central, e);
    const std::string extra = e.hasUtc ? TimestampField(e.utcSeconds) : std::string();
    Put16(central, static_cast<std::uint32_t>(e.name.size()));
    Put16(central, static_cast<std::uint32_t>(extra.size()));
    Put16(central, 0);  // comment
    Put16(central, 0);  // disk
    Put16(central, 0);  // internal attributes
    Put32(central, 0);  // external attributes: an ordinary file
    Put32(central, e.offset);
    central += e.name;
    central += extra;
  }
  if (position_ + central.size() > kMax32) return Fail("the package would pass 4 GiB");
  std::string end;
  Put32(end, kEndRecordSig);
  Put16(end, 0);
  Put16(end, 0);
  Put16(end, static_cast<std::uint32_t>(entries_.size()));
  Put16(end, static_cast<std::uint32_t>(entries_.size()));
  Put32(end, static_cast<std::uint32_t>(central.size()));
  Put32(end, static_cast<std::uint32_t>(position_));
  Put16(end, 0);  // comment
  if (!out_->Seek(position_) || !out_->Write(central.data(), central.size()) ||
      !out_->Write(end.data(), end.size()) || !out_->Close()) {
    return WriteFailed();
  }
  // A member stored after a longer deflated attempt leaves bytes past the new end.
  std::error_code ec;
  std::filesystem::resize_file(path_, position_ + central.size() + end.size(), ec);
  if (ec) return Fail("cannot write " + Utf8FromPath(path_) + ": " + ec.message());
  return true;
}

}  // namespace vlrpub
