#include "signature/file_signature.h"

#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

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

bool IsSignedBy(std::span<const std::uint8_t> publicKey, const std::wstring& path,
                const std::wstring& signaturePath) {
  try {
    if (publicKey.empty()) return false;
    std::optional<std::vector<std::uint8_t>> der = ReadSignatureFile(signaturePath);
    if (!der) return false;
    std::optional<RawP256Signature> raw = DerToRawP256(*der);
    return raw && platform::VerifyP256FileSignature(publicKey, path, *raw);
  } catch (...) {
    return false;  // out of memory: not shown to be authentic
  }
}

}  // namespace vlr
