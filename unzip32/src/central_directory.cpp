#include "central_directory.h"

#include <span>

#include "byte_order.h"
#include "extra_fields.h"

namespace uz32 {
namespace {

Status Damaged(uint64_t index) {
  return Status::Fail(UNZIP_ERR_FORMAT, "the central directory is damaged at entry " +
                                            std::to_string(index + 1));
}

}  // namespace

Status ReadCentralDirectory(ByteSource& src, const DirectoryLocation& where,
                            std::vector<ZipEntry>& out) {
  out.clear();
  std::vector<uint8_t> dir(static_cast<size_t>(where.directorySize));
  if (Status s = src.ReadAt(where.directoryOffset, dir); !s.ok()) return s;
  out.reserve(static_cast<size_t>(where.entryCount));

  size_t pos = 0;
  for (uint64_t i = 0; i < where.entryCount; ++i) {
    if (dir.size() - pos < kCentralHeaderSize) return Damaged(i);
    const uint8_t* h = dir.data() + pos;
    if (Le32(h) != kCentralHeaderSig) return Damaged(i);
    const size_t nameSize = Le16(h + 28);
    const size_t extraSize = Le16(h + 30);
    const size_t commentSize = Le16(h + 32);
    const size_t total = kCentralHeaderSize + nameSize + extraSize + commentSize;
    if (dir.size() - pos < total) return Damaged(i);

    ZipEntry e;
    e.versionMadeBy = Le16(h + 4);
    e.flags = Le16(h + 8);
    e.method = Le16(h + 10);
    e.dosTime = Le16(h + 12);
    e.dosDate = Le16(h + 14);
    e.crc = Le32(h + 16);
    e.compressedSize = Le32(h + 20);
    e.uncompressedSize = Le32(h + 24);
    e.diskStart = Le16(h + 34);
    e.internalAttr = Le16(h + 36);
    e.externalAttr = Le32(h + 38);
    e.localOffset = Le32(h + 42);
    e.rawName.assign(reinterpret_cast<const char*>(h) + kCentralHeaderSize, nameSize);

    const std::span<const uint8_t> extra(h + kCentralHeaderSize + nameSize, extraSize);
    if (!ApplyZip64Extra(extra, e.uncompressedSize, e.compressedSize, &e.localOffset,
                         &e.diskStart)) {
      return Damaged(i);
    }
    if (e.diskStart != 0) {
      return Status::Fail(UNZIP_ERR_UNSUPPORTED, "multi-part archives are not supported");
    }
    e.unixMtime = ReadUnixMtime(extra);
    out.push_back(std::move(e));
    pos += total;
  }
  return Status::Ok();
}

Status ReadArchive(ByteSource& src, Archive& out) {
  if (Status s = LocateDirectory(src, out.location); !s.ok()) return s;
  return ReadCentralDirectory(src, out.location, out.entries);
}

}  // namespace uz32
