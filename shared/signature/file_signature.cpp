#include "signature/file_signature.h"

#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <vector>

#include "platform/plain_file.h"
#include "platform/signature.h"
#include "platform/text.h"
#include "signature/der_signature.h"

namespace vlr {
namespace {

// The signature file's bytes; nullopt when it cannot be read or is too large to be one.
std::optional<std::vector<std::uint8_t>> ReadSignatureFile(const std::wstring& path) {
  std::ifstream in(platform::ToPath(path), std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<std::uint8_t> bytes(kMaxSignatureFileBytes + 1);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (in.bad()) return std::nullopt;
  std::size_t n = static_cast<std::size_t>(in.gcount());
  if (n > kMaxSignatureFileBytes) return std::nullopt;
  bytes.resize(n);
  return bytes;
}

}  // namespace

std::optional<std::size_t> VerifyingKey(std::span<const std::span<const std::uint8_t>> keys,
                                        platform::PlainFile& file, const std::wstring& signaturePath) {
  try {
    if (keys.empty()) return std::nullopt;
    std::optional<std::vector<std::uint8_t>> der = ReadSignatureFile(signaturePath);
    if (!der) return std::nullopt;
    std::optional<RawP256Signature> raw = DerToRawP256(*der);
    if (!raw || !file.Seek(0)) return std::nullopt;
    // One digest for all the keys: the file is read once.
    std::optional<platform::Sha256Digest> digest = platform::Sha256Of(file);
    if (!digest) return std::nullopt;
    for (std::size_t i = 0; i < keys.size(); ++i) {
      if (!keys[i].empty() && platform::VerifyP256Digest(keys[i], *digest, *raw)) return i;
    }
    return std::nullopt;
  } catch (...) {
    return std::nullopt;  // out of memory: not shown to be authentic
  }
}

bool IsSignedBy(std::span<const std::uint8_t> publicKey, const std::wstring& path,
                const std::wstring& signaturePath) {
  const std::span<const std::uint8_t> keys[] = {publicKey};
  std::unique_ptr<platform::PlainFile> file = platform::HoldFile(path);
  return file && VerifyingKey(keys, *file, signaturePath).has_value();
}

}  // namespace vlr
