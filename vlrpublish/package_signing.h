// Signing the mirror's files with the publisher's private key, in the form
// `openssl dgst -sha256 -sign` writes: a DER ECDSA P-256 signature over SHA-256.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace vlrpub {

class PackageSigner {
 public:
  // Reads the ECDSA P-256 private key (PEM, as `openssl ecparam -genkey` or `openssl
  // genpkey` write it) at `keyFile`. error() says why it cannot sign, else is empty.
  explicit PackageSigner(const std::filesystem::path& keyFile);
  ~PackageSigner();
  PackageSigner(const PackageSigner&) = delete;
  PackageSigner& operator=(const PackageSigner&) = delete;

  const std::string& error() const { return error_; }

  // The key's public half as the updater carries it: the 65-byte point.
  const std::vector<std::uint8_t>& publicPoint() const { return point_; }

  // Writes the signature of `file` to `signature`. Returns "" or why not; on failure no
  // signature file is left.
  std::string Sign(const std::filesystem::path& file, const std::filesystem::path& signature) const;

 private:
  struct Key;
  std::unique_ptr<Key> key_;
  std::vector<std::uint8_t> point_;
  std::string error_;
};

}  // namespace vlrpub
