#include "local_header.h"

#include <array>
#include <span>
#include <vector>

#include "byte_order.h"
#include "extra_fields.h"
#include "name_text.h"

namespace uz32 {
namespace {

Status Mismatch(const ZipEntry& e, const char* what) {
  return Status::Fail(UNZIP_ERR_FORMAT, DisplayName(e) + ": " + what);
}

bool AddWithin(uint64_t a, uint64_t b, uint64_t limit, uint64_t& sum) {
  if (a > limit || b > limit - a) return false;
  sum = a + b;
  return true;
}

}  // namespace

Status LocateMemberData(ByteSource& src, const ZipEntry& e, uint64_t prefix, uint64_t limit,
                        MemberSpan& out) {
  uint64_t fixedEnd = 0;
  if (!AddWithin(e.localOffset, prefix, limit, out.headerOffset) ||
      !AddWithin(out.headerOffset, kLocalHeaderSize, limit, fixedEnd)) {
    return Mismatch(e, "local header lies outside the archive");
  }
  std::array<uint8_t, kLocalHeaderSize> h{};
  if (Status s = src.ReadAt(out.headerOffset, h); !s.ok()) return s;
  if (Le32(h.data()) != kLocalHeaderSig) return Mismatch(e, "local header is missing");

  const uint16_t flags = Le16(h.data() + 6);
  const size_t nameSize = Le16(h.data() + 26);
  const size_t extraSize = Le16(h.data() + 28);
  uint64_t variableEnd = 0;
  if (!AddWithin(fixedEnd, nameSize + extraSize, limit, variableEnd)) {
    return Mismatch(e, "local header lies outside the archive");
  }
  std::vector<uint8_t> variable(nameSize + extraSize);
  if (Status s = src.ReadAt(fixedEnd, variable); !s.ok()) return s;

  if ((flags & kFlagEncrypted) != (e.flags & kFlagEncrypted) ||
      Le16(h.data() + 8) != e.method) {
    return Mismatch(e, "local header does not match the central directory");
  }
  if (nameSize != e.rawName.size() ||
      !std::equal(variable.begin(), variable.begin() + static_cast<long>(nameSize),
                  reinterpret_cast<const uint8_t*>(e.rawName.data()))) {
    return Mismatch(e, "local name does not match the central directory");
  }
  if ((flags & kFlagDataDescriptor) == 0 && (e.flags & kFlagDataDescriptor) == 0) {
    uint64_t compressed = Le32(h.data() + 18);
    uint64_t uncompressed = Le32(h.data() + 22);
    const std::span<const uint8_t> extra(variable.data() + nameSize, extraSize);
    if (Le32(h.data() + 14) != e.crc || !ApplyZip64Extra(extra, uncompressed, compressed) ||
        compressed != e.compressedSize || uncompressed != e.uncompressedSize) {
      return Mismatch(e, "local header does not match the central directory");
    }
  }
  out.dataOffset = variableEnd;
  if (!AddWithin(out.dataOffset, e.compressedSize, limit, out.dataEnd)) {
    return Mismatch(e, "data runs past the end of the archive's data");
  }
  return Status::Ok();
}

Status CheckDataDescriptor(ByteSource& src, const ZipEntry& e, const MemberSpan& where,
                           uint64_t limit) {
  if ((e.flags & kFlagDataDescriptor) == 0) return Status::Ok();
  std::array<uint8_t, 8> d{};
  if (where.dataEnd > limit || limit - where.dataEnd < d.size() ||
      !src.ReadAt(where.dataEnd, d).ok()) {
    return Mismatch(e, "data descriptor is missing");
  }
  const bool signed_ = Le32(d.data()) == kDataDescriptorSig;
  const uint32_t crc = signed_ ? Le32(d.data() + 4) : Le32(d.data());
  // A descriptor without signature whose CRC happens to equal the signature is read
  // either way.
  if (crc != e.crc && !(signed_ && e.crc == kDataDescriptorSig)) {
    return Mismatch(e, "data descriptor does not match the central directory");
  }
  return Status::Ok();
}

}  // namespace uz32
