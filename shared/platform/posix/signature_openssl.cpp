#include <openssl/bn.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <array>
#include <memory>
#include <vector>

#include "platform/signature.h"
#include "platform/unique_handle.h"

namespace platform {
namespace {

using PKey = std::unique_ptr<EVP_PKEY, CloseWith<EVP_PKEY_free>>;
using DigestContext = std::unique_ptr<EVP_MD_CTX, CloseWith<EVP_MD_CTX_free>>;
using Signature = std::unique_ptr<ECDSA_SIG, CloseWith<ECDSA_SIG_free>>;

PKey ImportKey(std::span<const std::uint8_t> point) {
  if (point.size() != 65 || point[0] != 0x04) return nullptr;
  std::vector<std::uint8_t> spki(kP256SpkiHeader.begin(), kP256SpkiHeader.end());
  spki.insert(spki.end(), point.begin(), point.end());
  const unsigned char* at = spki.data();
  // d2i_PUBKEY also checks that the point lies on the curve.
  return PKey(d2i_PUBKEY(nullptr, &at, static_cast<long>(spki.size())));
}

// libcrypto verifies the DER form; r and s are put back into it.
std::vector<unsigned char> ToDer(std::span<const std::uint8_t, 64> raw) {
  Signature sig(ECDSA_SIG_new());
  if (!sig) return {};
  BIGNUM* r = BN_bin2bn(raw.data(), 32, nullptr);
  BIGNUM* s = BN_bin2bn(raw.data() + 32, 32, nullptr);
  if (!r || !s || ECDSA_SIG_set0(sig.get(), r, s) != 1) {
    BN_free(r);
    BN_free(s);
    return {};
  }
  int length = i2d_ECDSA_SIG(sig.get(), nullptr);
  if (length <= 0) return {};
  std::vector<unsigned char> der(static_cast<std::size_t>(length));
  unsigned char* out = der.data();
  if (i2d_ECDSA_SIG(sig.get(), &out) != length) return {};
  return der;
}

}  // namespace

std::optional<Sha256Digest> Sha256Of(PlainFile& file) {
  DigestContext context(EVP_MD_CTX_new());
  if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1)
    return std::nullopt;
  std::vector<unsigned char> buffer(64 * 1024);
  for (;;) {
    std::size_t n = 0;
    if (!file.Read(buffer.data(), buffer.size(), n)) return std::nullopt;
    if (n == 0) break;
    if (EVP_DigestUpdate(context.get(), buffer.data(), n) != 1) return std::nullopt;
  }
  Sha256Digest digest{};
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context.get(), digest.data(), &length) != 1 || length != digest.size())
    return std::nullopt;
  return digest;
}

bool VerifyP256Digest(std::span<const std::uint8_t> publicKey, const Sha256Digest& digest,
                      std::span<const std::uint8_t, 64> signature) {
  PKey key = ImportKey(publicKey);
  std::vector<unsigned char> der = ToDer(signature);
  if (!key || der.empty()) return false;
  using KeyContext = std::unique_ptr<EVP_PKEY_CTX, CloseWith<EVP_PKEY_CTX_free>>;
  KeyContext context(EVP_PKEY_CTX_new(key.get(), nullptr));
  return context && EVP_PKEY_verify_init(context.get()) == 1 &&
         EVP_PKEY_verify(context.get(), der.data(), der.size(), digest.data(), digest.size()) == 1;
}

}  // namespace platform
