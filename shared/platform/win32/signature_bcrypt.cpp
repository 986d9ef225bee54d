#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/signature.h"
#include "platform/win32/win32_handles.h"

namespace platform {
namespace {

bool Succeeded(NTSTATUS status) { return status >= 0; }

struct AlgorithmCloser {
  void operator()(BCRYPT_ALG_HANDLE h) const { BCryptCloseAlgorithmProvider(h, 0); }
};
using Algorithm = UniqueHandle<BCRYPT_ALG_HANDLE, AlgorithmCloser>;
using Key = UniqueHandle<BCRYPT_KEY_HANDLE, CloseWith<BCryptDestroyKey>>;
using Hash = UniqueHandle<BCRYPT_HASH_HANDLE, CloseWith<BCryptDestroyHash>>;

Algorithm OpenAlgorithm(const wchar_t* name) {
  BCRYPT_ALG_HANDLE h = nullptr;
  if (!Succeeded(BCryptOpenAlgorithmProvider(&h, name, nullptr, 0))) return Algorithm();
  return Algorithm(h);
}

}  // namespace

std::optional<Sha256Digest> Sha256Of(PlainFile& file) {
  Algorithm sha = OpenAlgorithm(BCRYPT_SHA256_ALGORITHM);
  BCRYPT_HASH_HANDLE h = nullptr;
  if (!sha || !Succeeded(BCryptCreateHash(sha.get(), &h, nullptr, 0, nullptr, 0, 0)))
    return std::nullopt;
  Hash hash(h);
  std::vector<UCHAR> buffer(64 * 1024);
  for (;;) {
    std::size_t read = 0;
    if (!file.Read(buffer.data(), buffer.size(), read)) return std::nullopt;
    if (read == 0) break;
    if (!Succeeded(BCryptHashData(hash.get(), buffer.data(), static_cast<ULONG>(read), 0)))
      return std::nullopt;
  }
  Sha256Digest digest{};
  if (!Succeeded(BCryptFinishHash(hash.get(), digest.data(), 32, 0))) return std::nullopt;
  return digest;
}

bool VerifyP256Digest(std::span<const std::uint8_t> publicKey, const Sha256Digest& digest,
                      std::span<const std::uint8_t, 64> signature) {
  if (publicKey.size() != 65 || publicKey[0] != 0x04) return false;
  Algorithm ecdsa = OpenAlgorithm(BCRYPT_ECDSA_P256_ALGORITHM);
  if (!ecdsa) return false;
  // BCRYPT_ECCKEY_BLOB, then X and Y.
  std::vector<UCHAR> blob(sizeof(BCRYPT_ECCKEY_BLOB) + 64);
  BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
  std::memcpy(blob.data(), &header, sizeof header);
  std::memcpy(blob.data() + sizeof header, publicKey.data() + 1, 64);
  BCRYPT_KEY_HANDLE k = nullptr;
  if (!Succeeded(BCryptImportKeyPair(ecdsa.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, &k, blob.data(),
                                     static_cast<ULONG>(blob.size()), 0))) {
    return false;
  }
  Key key(k);
  std::vector<UCHAR> hash(digest.begin(), digest.end());
  std::vector<UCHAR> sig(signature.begin(), signature.end());
  return BCryptVerifySignature(key.get(), nullptr, hash.data(), 32, sig.data(), 64, 0) == 0;
}

}  // namespace platform
