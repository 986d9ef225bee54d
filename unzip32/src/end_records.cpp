#include "end_records.h"

#include <algorithm>
#include <array>
#include <vector>

#include "byte_order.h"
#include "zip_records.h"

namespace uz32 {
namespace {

constexpr size_t kMaxCommentSize = 0xFFFF;

Status Damaged(const char* what) {
  return Status::Fail(UNZIP_ERR_FORMAT, std::string("the archive's ") + what + " is damaged");
}

// Position of the end record within tail (which ends at the end of the file), or -1.
// Prefers a record whose comment reaches exactly to the end of the file; otherwise
// takes the last one whose comment fits (data appended after the archive).
long FindEndRecord(const std::vector<uint8_t>& tail) {
  long fallback = -1;
  for (long i = static_cast<long>(tail.size() - kEndRecordSize); i >= 0; --i) {
    const uint8_t* p = tail.data() + i;
    if (Le32(p) != kEndRecordSig) continue;
    const size_t commentEnd = static_cast<size_t>(i) + kEndRecordSize + Le16(p + 20);
    if (commentEnd == tail.size()) return i;
    if (commentEnd < tail.size() && fallback < 0) fallback = i;
  }
  return fallback;
}

struct Zip64End {
  uint64_t position = 0;
  uint64_t entryCount = 0;
  uint64_t directorySize = 0;
  uint64_t directoryOffset = 0;
  uint64_t prefix = 0;
};

// Reads the zip64 end record that the locator at locatorPos points to. Returns false
// (with status set on a real failure) when there is no usable zip64 end record.
bool ReadZip64End(ByteSource& src, uint64_t locatorPos, Zip64End& out, Status& status) {
  std::array<uint8_t, kZip64LocatorSize> loc{};
  if (!src.ReadAt(locatorPos, loc).ok() || Le32(loc.data()) != kZip64LocatorSig) return false;
  if (Le32(loc.data() + 4) != 0 || Le32(loc.data() + 16) > 1) {
    status = Status::Fail(UNZIP_ERR_UNSUPPORTED, "multi-part archives are not supported");
    return false;
  }
  const uint64_t stored = Le64(loc.data() + 8);
  // Where the record says it is, and where it would be if bytes were prepended.
  const uint64_t candidates[2] = {
      stored, locatorPos >= kZip64EndRecordMinSize ? locatorPos - kZip64EndRecordMinSize : 0};
  for (uint64_t pos : candidates) {
    std::array<uint8_t, kZip64EndRecordMinSize> rec{};
    if (pos > locatorPos || locatorPos - pos < rec.size()) continue;
    if (!src.ReadAt(pos, rec).ok() || Le32(rec.data()) != kZip64EndRecordSig) continue;
    if (pos < stored) continue;
    out.position = pos;
    out.prefix = pos - stored;
    if (Le32(rec.data() + 16) != 0 || Le32(rec.data() + 20) != 0 ||
        Le64(rec.data() + 24) != Le64(rec.data() + 32)) {
      status = Status::Fail(UNZIP_ERR_UNSUPPORTED, "multi-part archives are not supported");
      return false;
    }
    out.entryCount = Le64(rec.data() + 32);
    out.directorySize = Le64(rec.data() + 40);
    out.directoryOffset = Le64(rec.data() + 48);
    return true;
  }
  status = Damaged("zip64 end record");
  return false;
}

bool StartsWithCentralHeader(ByteSource& src, uint64_t pos) {
  std::array<uint8_t, 4> sig{};
  return src.ReadAt(pos, sig).ok() && Le32(sig.data()) == kCentralHeaderSig;
}

}  // namespace

Status LocateDirectory(ByteSource& src, DirectoryLocation& out) {
  const uint64_t size = src.Size();
  const Status notZip =
      Status::Fail(UNZIP_ERR_NOT_FOUND, "not a zip archive, or the archive is cut short "
                                        "(no end of central directory)");
  if (size < kEndRecordSize) return notZip;

  std::vector<uint8_t> tail(static_cast<size_t>(
      std::min<uint64_t>(size, kEndRecordSize + kMaxCommentSize)));
  const uint64_t tailStart = size - tail.size();
  if (Status s = src.ReadAt(tailStart, tail); !s.ok()) return s;
  const long at = FindEndRecord(tail);
  if (at < 0) return notZip;

  const uint8_t* end = tail.data() + at;
  const uint64_t endPos = tailStart + static_cast<uint64_t>(at);
  const uint16_t commentSize = Le16(end + 20);
  out.comment.assign(reinterpret_cast<const char*>(end) + kEndRecordSize, commentSize);

  const uint16_t disk = Le16(end + 4);
  const uint16_t directoryDisk = Le16(end + 6);
  const uint16_t entriesHere = Le16(end + 8);
  out.entryCount = Le16(end + 10);
  out.directorySize = Le32(end + 12);
  uint64_t storedOffset = Le32(end + 16);
  out.directoryEnd = endPos;

  Zip64End z64;
  Status z64Status;
  bool haveZip64 = false;
  if (endPos >= kZip64LocatorSize) {
    haveZip64 = ReadZip64End(src, endPos - kZip64LocatorSize, z64, z64Status);
    if (!z64Status.ok()) return z64Status;
  }
  if (haveZip64) {
    out.entryCount = z64.entryCount;
    out.directorySize = z64.directorySize;
    storedOffset = z64.directoryOffset;
    out.directoryEnd = z64.position;
  } else if (disk != 0 || directoryDisk != 0 || entriesHere != out.entryCount) {
    return Status::Fail(UNZIP_ERR_UNSUPPORTED, "multi-part archives are not supported");
  }

  if (storedOffset > out.directoryEnd || out.directorySize > out.directoryEnd - storedOffset ||
      out.entryCount > out.directorySize / kCentralHeaderSize) {
    return Damaged("central directory");
  }
  // Normally the directory sits where the end record says. If it does not, bytes were
  // prepended to the archive (a self-extractor stub): every stored offset is then off
  // by the same amount.
  out.prefix = 0;
  if (out.entryCount > 0 && !StartsWithCentralHeader(src, storedOffset)) {
    const uint64_t shift = haveZip64 && z64.prefix != 0
                               ? z64.prefix
                               : out.directoryEnd - storedOffset - out.directorySize;
    if (shift == 0 || storedOffset + shift + out.directorySize > out.directoryEnd ||
        !StartsWithCentralHeader(src, storedOffset + shift)) {
      return Damaged("central directory");
    }
    out.prefix = shift;
  }
  out.directoryOffset = storedOffset + out.prefix;
  return Status::Ok();
}

}  // namespace uz32
