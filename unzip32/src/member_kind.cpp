#include "member_kind.h"

#include "name_text.h"

namespace uz32 {
namespace {

constexpr uint32_t kDosFolderAttr = 0x10;
constexpr uint32_t kUnixTypeMask = 0170000;
constexpr uint32_t kUnixFolder = 0040000;
constexpr uint32_t kUnixLink = 0120000;

bool MadeOnUnix(const ZipEntry& e) {
  const int host = e.versionMadeBy >> 8;
  return host == 3 || host == 19;  // Unix, OS X
}

}  // namespace

MemberKind ClassifyEntry(const ZipEntry& e) {
  const uint32_t unixType = (e.externalAttr >> 16) & kUnixTypeMask;
  if (MadeOnUnix(e) && unixType == kUnixLink) return MemberKind::Link;
  if (e.uncompressedSize == 0) {
    const bool slash = !e.rawName.empty() && (e.rawName.back() == '/' || e.rawName.back() == '\\');
    if (slash || (e.externalAttr & kDosFolderAttr) != 0 ||
        (MadeOnUnix(e) && unixType == kUnixFolder)) {
      return MemberKind::Folder;
    }
  }
  return MemberKind::File;
}

Status CheckDecodable(const ZipEntry& e) {
  const auto refuse = [&](const std::string& what) {
    return Status::Fail(UNZIP_ERR_UNSUPPORTED, DisplayName(e) + ": " + what + " is not supported");
  };
  if ((e.flags & kFlagStrongEncryption) != 0 || e.method == kMethodAes) {
    return refuse("strong or AES encryption");
  }
  if ((e.flags & kFlagMaskedHeaders) != 0) return refuse("masked (encrypted) headers");
  if ((e.flags & kFlagPatchData) != 0) return refuse("patch data");
  if (e.method != kMethodStored && e.method != kMethodDeflated) {
    return refuse("compression method " + std::to_string(e.method));
  }
  return Status::Ok();
}

std::string MethodName(const ZipEntry& e) {
  if (e.method == kMethodStored) return "Stored";
  if (e.method == kMethodDeflated) {
    static const char kLevel[] = {'N', 'X', 'F', 'S'};
    return std::string("Defl:") + kLevel[(e.flags >> 1) & 3];
  }
  return "Unk:" + std::to_string(e.method);
}

uint32_t CompressionFactor(uint64_t compressed, uint64_t uncompressed) {
  if (uncompressed == 0 || compressed >= uncompressed) return 0;
  // Scaled down first so the product cannot overflow for any 64-bit size.
  while (uncompressed > (UINT64_MAX / 100)) {
    uncompressed >>= 1;
    compressed >>= 1;
  }
  return static_cast<uint32_t>(100 - (compressed * 100 + uncompressed - 1) / uncompressed);
}

}  // namespace uz32
