#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <system_error>

#include "platform/signature.h"
#include "platform/unique_handle.h"
#include "vlrpublish/package_signing.h"
#include "platform/plain_file.h"
#include "vlrpublish/shown_text.h"

namespace vlrpub {

namespace fs = std::filesystem;

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// The passphrase of an encrypted key is asked on the terminal, as openssl does; with no
// terminal there is nobody to ask, and OpenSSL's own prompt would wait on a pipe or a
// closed input.
int NoPassphrase(char*, int, int, void*) { return -1; }

bool HasTerminal() { return isatty(STDIN_FILENO) == 1; }

}  // namespace

struct PackageSigner::Key {
  std::unique_ptr<EVP_PKEY, platform::CloseWith<EVP_PKEY_free>> pkey;
};

PackageSigner::PackageSigner(const fs::path& keyFile) : key_(std::make_unique<Key>()) {
  const std::string name = Utf8FromPath(keyFile);
  errno = 0;
  std::unique_ptr<std::FILE, FileCloser> f(std::fopen(keyFile.c_str(), "rb"));
  if (!f) {
    error_ = "cannot read the signing key " + name + SystemReason(static_cast<unsigned long>(errno));
    return;
  }
  std::ifstream text(keyFile, std::ios::binary);
  const std::string pem((std::istreambuf_iterator<char>(text)), std::istreambuf_iterator<char>());
  // PKCS#8 ("ENCRYPTED PRIVATE KEY") and the older "Proc-Type: 4,ENCRYPTED" header.
  const bool encrypted = pem.find("ENCRYPTED") != std::string::npos;
  key_->pkey.reset(PEM_read_PrivateKey(f.get(), nullptr,
                                       HasTerminal() ? nullptr : &NoPassphrase, nullptr));
  if (!key_->pkey) {
    error_ = encrypted ? name + " is an encrypted private key, and " +
                             (HasTerminal() ? std::string("its passphrase was not right")
                                            : std::string("there is no terminal to ask its "
                                                          "passphrase on")) +
                             " (decrypt a copy with: openssl pkey -in " + name +
                             " -out plain.pem)"
                       : name + " is not a private key in PEM form";
    return;
  }
  // The public half in DER: a P-256 key gives exactly the known header and its point.
  unsigned char* der = nullptr;
  const int length = i2d_PUBKEY(key_->pkey.get(), &der);
  const auto& header = platform::kP256SpkiHeader;
  if (length == static_cast<int>(header.size()) + 65 &&
      std::equal(header.begin(), header.end(), der)) {
    point_.assign(der + header.size(), der + length);
  }
  OPENSSL_free(der);
  if (point_.empty()) {
    error_ = name + " is not an ECDSA P-256 private key (make one with: openssl ecparam "
                    "-name prime256v1 -genkey -noout -out private.pem)";
    key_->pkey.reset();
  }
}

PackageSigner::~PackageSigner() = default;

std::string PackageSigner::Sign(const fs::path& file, const fs::path& sigFile) const {
  if (!error_.empty()) return error_;
  const std::string name = Utf8FromPath(file);
  std::unique_ptr<EVP_MD_CTX, platform::CloseWith<EVP_MD_CTX_free>> context(EVP_MD_CTX_new());
  if (!context ||
      EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key_->pkey.get()) != 1) {
    return "cannot start signing " + name;
  }
  std::string bytes;
  unsigned long error = 0;
  if (!platform::ReadWholeFile(file, bytes, error)) return "cannot read " + name + " to sign it";
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  size_t length = 0;
  if (EVP_DigestSign(context.get(), nullptr, &length, data, bytes.size()) != 1)
    return "cannot sign " + name;
  std::vector<unsigned char> signature(length);
  if (EVP_DigestSign(context.get(), signature.data(), &length, data, bytes.size()) != 1)
    return "cannot sign " + name;
  if (!platform::WriteWholeFile(
          sigFile, std::string_view(reinterpret_cast<const char*>(signature.data()), length),
          error)) {
    const std::string why = SystemReason(error);
    std::error_code ignored;
    fs::remove(sigFile, ignored);
    return "cannot write " + Utf8FromPath(sigFile) + why;
  }
  return "";
}

}  // namespace vlrpub
