#include "member_decoder.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <optional>

#include "name_text.h"

namespace uz32 {
namespace {

Status Corrupt(const ZipEntry& e, const std::string& what) {
  return Status::Fail(UNZIP_ERR_FORMAT, DisplayName(e) + ": " + what);
}

std::string Hex(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08x", static_cast<unsigned>(v));
  return buf;
}

// Reads the member's compressed bytes in buffer-sized pieces, decrypting as it goes.
class CompressedReader {
 public:
  CompressedReader(ByteSource& src, uint64_t offset, uint64_t size,
                   std::optional<TraditionalCipher> cipher)
      : src_(src), offset_(offset), remaining_(size), cipher_(std::move(cipher)) {}

  uint64_t remaining() const { return remaining_; }

  // Fills the front of buffer with the next piece; returns its size through n.
  Status Next(std::vector<uint8_t>& buffer, size_t& n) {
    n = static_cast<size_t>(std::min<uint64_t>(remaining_, buffer.size()));
    const std::span<uint8_t> piece(buffer.data(), n);
    if (Status s = src_.ReadAt(offset_, piece); !s.ok()) return s;
    if (cipher_) cipher_->Decrypt(piece);
    offset_ += n;
    remaining_ -= n;
    return Status::Ok();
  }

 private:
  ByteSource& src_;
  uint64_t offset_;
  uint64_t remaining_;
  std::optional<TraditionalCipher> cipher_;
};

// Owns one raw-inflate stream.
class InflateStream {
 public:
  InflateStream() { ok_ = inflateInit2(&zs_, -MAX_WBITS) == Z_OK; }
  ~InflateStream() {
    if (ok_) inflateEnd(&zs_);
  }
  InflateStream(const InflateStream&) = delete;
  InflateStream& operator=(const InflateStream&) = delete;
  bool ok() const { return ok_; }
  z_stream& z() { return zs_; }

 private:
  z_stream zs_{};
  bool ok_ = false;
};

Status CopyStored(const ZipEntry& e, CompressedReader& reader, ByteSink& sink,
                  DecodeBuffers& buffers, uint32_t& crc) {
  if (reader.remaining() != e.uncompressedSize) {
    return Corrupt(e, "stored data size differs from the declared size");
  }
  while (reader.remaining() > 0) {
    size_t n = 0;
    if (Status s = reader.Next(buffers.in, n); !s.ok()) return s;
    crc = static_cast<uint32_t>(crc32(crc, buffers.in.data(), static_cast<uInt>(n)));
    if (Status s = sink.Write({buffers.in.data(), n}); !s.ok()) return s;
  }
  return Status::Ok();
}

Status Inflate(const ZipEntry& e, CompressedReader& reader, ByteSink& sink,
               DecodeBuffers& buffers, uint32_t& crc) {
  InflateStream stream;
  if (!stream.ok()) return Status::Fail(UNZIP_ERR_MEMORY, "out of memory");
  z_stream& zs = stream.z();
  uint64_t produced = 0;
  for (;;) {
    if (zs.avail_in == 0) {
      if (reader.remaining() == 0) return Corrupt(e, "compressed data ends early");
      size_t n = 0;
      if (Status s = reader.Next(buffers.in, n); !s.ok()) return s;
      zs.next_in = buffers.in.data();
      zs.avail_in = static_cast<uInt>(n);
    }
    // Room for the rest of the declared size and one byte more: that byte shows a
    // member that inflates past its declared size, which is stopped right there.
    const uint64_t left = e.uncompressedSize - produced;
    const size_t room = left >= buffers.out.size() ? buffers.out.size()
                                                   : static_cast<size_t>(left) + 1;
    zs.next_out = buffers.out.data();
    zs.avail_out = static_cast<uInt>(room);
    const int rc = inflate(&zs, Z_NO_FLUSH);
    const size_t got = room - zs.avail_out;
    if (got > left) return Corrupt(e, "data is longer than its declared size");
    if (got > 0) {
      crc = static_cast<uint32_t>(crc32(crc, buffers.out.data(), static_cast<uInt>(got)));
      if (Status s = sink.Write({buffers.out.data(), got}); !s.ok()) return s;
      produced += got;
    }
    if (rc == Z_STREAM_END) break;
    if (rc == Z_MEM_ERROR) return Status::Fail(UNZIP_ERR_MEMORY, "out of memory");
    if (rc != Z_OK && rc != Z_BUF_ERROR) return Corrupt(e, "compressed data is corrupt");
  }
  if (produced != e.uncompressedSize) return Corrupt(e, "data is shorter than its declared size");
  return Status::Ok();
}

}  // namespace

Status ReadEncryptionHeader(ByteSource& src, const ZipEntry& e, const MemberSpan& where,
                            EncryptionHeader& header) {
  if (e.compressedSize < header.size()) return Corrupt(e, "encrypted data is too short");
  return src.ReadAt(where.dataOffset, header);
}

Status DecodeMember(ByteSource& src, const ZipEntry& e, const MemberSpan& where,
                    std::string_view password, ByteSink& sink, DecodeBuffers& buffers) {
  uint64_t offset = where.dataOffset;
  uint64_t size = e.compressedSize;
  std::optional<TraditionalCipher> cipher;
  if (e.encrypted()) {
    EncryptionHeader header{};
    if (Status s = ReadEncryptionHeader(src, e, where, header); !s.ok()) return s;
    cipher.emplace(password);
    cipher->Decrypt(header);
    offset += header.size();
    size -= header.size();
  }
  CompressedReader reader(src, offset, size, std::move(cipher));
  uint32_t crc = static_cast<uint32_t>(crc32(0, nullptr, 0));
  Status s;
  if (e.method == kMethodStored) {
    s = CopyStored(e, reader, sink, buffers, crc);
  } else if (e.method == kMethodDeflated) {
    s = Inflate(e, reader, sink, buffers, crc);
  } else {
    s = Status::Fail(UNZIP_ERR_UNSUPPORTED, DisplayName(e) + ": compression method " +
                                                std::to_string(e.method) + " is not supported");
  }
  if (!s.ok()) return s;
  if (crc != e.crc) {
    return Corrupt(e, "bad CRC " + Hex(crc) + " (should be " + Hex(e.crc) + ")");
  }
  return Status::Ok();
}

}  // namespace uz32
