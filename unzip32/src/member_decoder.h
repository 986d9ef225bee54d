// Turning one member's stored bytes into its content: decryption, stored copy or raw
// inflate, CRC-32 and size checks. The output never exceeds the declared size.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "byte_source.h"
#include "local_header.h"
#include "status.h"
#include "traditional_cipher.h"
#include "zip_records.h"

namespace uz32 {

// Input and output buffers, allocated once per run and reused for every member so the
// memory of a run does not grow with the archive.
struct DecodeBuffers {
  static constexpr size_t kSize = 128 * 1024;
  std::vector<uint8_t> in = std::vector<uint8_t>(kSize);
  std::vector<uint8_t> out = std::vector<uint8_t>(kSize);
};

// The 12-byte encryption header of an encrypted member (still encrypted). Fails with
// UNZIP_ERR_FORMAT when the member is too short to hold one, or the read's failure.
Status ReadEncryptionHeader(ByteSource& src, const ZipEntry& e, const MemberSpan& where,
                            EncryptionHeader& header);

// Decodes e (decrypting with password when it is encrypted; password is ignored
// otherwise) and hands exactly its declared uncompressed bytes to sink. Fails with
// UNZIP_ERR_FORMAT for corrupt data, a bad CRC, or content longer or shorter than
// declared; UNZIP_ERR_MEMORY, a read's or the sink's failure otherwise. On failure the
// sink may hold part of the content, never more than the declared size.
Status DecodeMember(ByteSource& src, const ZipEntry& e, const MemberSpan& where,
                    std::string_view password, ByteSink& sink, DecodeBuffers& buffers);

}  // namespace uz32
