// Signatures, flag bits and the in-memory form of one central-directory entry.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace uz32 {

inline constexpr uint32_t kLocalHeaderSig = 0x04034b50;
inline constexpr uint32_t kCentralHeaderSig = 0x02014b50;
inline constexpr uint32_t kEndRecordSig = 0x06054b50;
inline constexpr uint32_t kZip64EndRecordSig = 0x06064b50;
inline constexpr uint32_t kZip64LocatorSig = 0x07064b50;
inline constexpr uint32_t kDataDescriptorSig = 0x08074b50;

inline constexpr size_t kLocalHeaderSize = 30;
inline constexpr size_t kCentralHeaderSize = 46;
inline constexpr size_t kEndRecordSize = 22;
inline constexpr size_t kZip64LocatorSize = 20;
inline constexpr size_t kZip64EndRecordMinSize = 56;

// General-purpose flag bits.
inline constexpr uint16_t kFlagEncrypted = 1u << 0;
inline constexpr uint16_t kFlagDataDescriptor = 1u << 3;
inline constexpr uint16_t kFlagPatchData = 1u << 5;
inline constexpr uint16_t kFlagStrongEncryption = 1u << 6;
inline constexpr uint16_t kFlagUtf8Name = 1u << 11;
inline constexpr uint16_t kFlagMaskedHeaders = 1u << 13;

inline constexpr uint16_t kMethodStored = 0;
inline constexpr uint16_t kMethodDeflated = 8;
inline constexpr uint16_t kMethodAes = 99;

inline constexpr size_t kEncryptionHeaderSize = 12;

// One member as the central directory describes it, zip64 values already applied.
struct ZipEntry {
  std::string rawName;  // the stored name bytes, CP437 or UTF-8 (kFlagUtf8Name)
  uint16_t versionMadeBy = 0;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint16_t dosTime = 0;
  uint16_t dosDate = 0;
  uint16_t internalAttr = 0;
  uint32_t externalAttr = 0;
  uint32_t crc = 0;
  uint32_t diskStart = 0;
  uint64_t compressedSize = 0;
  uint64_t uncompressedSize = 0;
  uint64_t localOffset = 0;  // relative to the start of the zip data (prefix excluded)
  std::optional<int64_t> unixMtime;  // from the extended-timestamp field, UTC seconds

  bool encrypted() const { return (flags & kFlagEncrypted) != 0; }
};

}  // namespace uz32
