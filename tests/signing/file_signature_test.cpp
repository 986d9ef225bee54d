// Files signed by the stock openssl command, checked by the system's cryptography: CNG
// in the Windows build, libcrypto in the native one.
#include "mirror/package_digest.h"
#include "platform/plain_file.h"
#include "signature/file_signature.h"
#include "signature/public_key_pem.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/signature.h"
#include "platform/text.h"
#include "tests/support/test_paths.h"

namespace {

std::wstring Signed(const std::string& name) {
  return platform::FromUtf8(vlrtest::HostPath(std::string(VLR_SIGNED_FILES) + "/" + name));
}

std::string KeyFile(const std::string& name) {
  std::ifstream in(platform::ToPath(platform::FromUtf8(
                       vlrtest::SourceDir() + "/tests/signing/keys/" + name)),
                   std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The test key's point, read from its PEM file as `vlrpublish check --key` reads it.
std::vector<std::uint8_t> TestKey() {
  std::optional<std::vector<std::uint8_t>> point = vlr::P256PointFromPem(KeyFile("test_public.pem"));
  EXPECT_TRUE(point);
  return point.value_or(std::vector<std::uint8_t>{});
}

TEST(PublicKeyPem, TakesOnlyAnUncompressedP256PublicKey) {
  const std::string pem = KeyFile("test_public.pem");
  ASSERT_TRUE(vlr::P256PointFromPem(pem));
  EXPECT_EQ(vlr::P256PointFromPem(pem)->size(), 65u);
  EXPECT_FALSE(vlr::P256PointFromPem(KeyFile("p384_public.pem")));
  EXPECT_FALSE(vlr::P256PointFromPem(KeyFile("test_private.pem")));
  std::string damaged = pem;
  damaged[damaged.find('\n') + 5] = '*';  // not base64
  EXPECT_FALSE(vlr::P256PointFromPem(damaged));
  std::string cut = pem;
  cut.erase(cut.find("-----END"), 5);  // no end line
  EXPECT_FALSE(vlr::P256PointFromPem(cut));
}

TEST(FileSignature, AcceptsTheSignedFileAndNothingElse) {
  const std::vector<std::uint8_t> key = TestKey();
  EXPECT_TRUE(vlr::IsSignedBy(key, Signed("data.bin"), Signed("data.bin.sig")));
  EXPECT_TRUE(vlr::IsSignedBy(key, Signed("empty.bin"), Signed("empty.bin.sig")));

  EXPECT_FALSE(vlr::IsSignedBy(key, Signed("tampered.bin"), Signed("data.bin.sig")));
  EXPECT_FALSE(vlr::IsSignedBy(key, Signed("data.bin"), Signed("data.bin.other.sig")));
  EXPECT_FALSE(vlr::IsSignedBy(key, Signed("data.bin"), Signed("empty.bin.sig")));
  EXPECT_FALSE(vlr::IsSignedBy(key, Signed("data.bin"), Signed("missing.sig")));
  EXPECT_FALSE(vlr::IsSignedBy(key, Signed("missing.bin"), Signed("data.bin.sig")));
  // A signature file that is no DER signature at all: the data itself.
  EXPECT_FALSE(vlr::IsSignedBy(key, Signed("empty.bin"), Signed("data.bin")));
  EXPECT_FALSE(vlr::IsSignedBy({}, Signed("data.bin"), Signed("data.bin.sig")));

  std::vector<std::uint8_t> offCurve = key;
  offCurve[64] ^= 1;  // no longer a point of the curve
  EXPECT_FALSE(vlr::IsSignedBy(offCurve, Signed("data.bin"), Signed("data.bin.sig")));
}

std::vector<std::uint8_t> KeyPoint(const std::string& pemName) {
  return vlr::P256PointFromPem(KeyFile(pemName)).value_or(std::vector<std::uint8_t>{});
}

TEST(FileSignature, AnyKeyOfAListMayHaveSigned) {
  const std::vector<std::uint8_t> test = KeyPoint("test_public.pem");
  const std::vector<std::uint8_t> other = KeyPoint("other_public.pem");
  const std::vector<std::uint8_t> third = KeyPoint("third_public.pem");
  std::vector<std::uint8_t> offCurve = test;
  offCurve[64] ^= 1;
  using Keys = std::vector<std::span<const std::uint8_t>>;
  struct Row {
    Keys keys;
    std::string file, signature;
    std::optional<std::size_t> key;  // which one verifies
  } rows[] = {
      {{test}, "data.bin", "data.bin.sig", 0},
      {{other, test}, "data.bin", "data.bin.sig", 1},
      {{test, other}, "data.bin", "data.bin.other.sig", 1},
      {{third, offCurve, {}, test}, "data.bin", "data.bin.sig", 3},  // the bad ones are passed
      {{other, third}, "data.bin", "data.bin.sig", std::nullopt},    // not a trusted key
      {{test, other}, "tampered.bin", "data.bin.sig", std::nullopt},
      {{test, other}, "data.bin", "missing.sig", std::nullopt},
      {{}, "data.bin", "data.bin.sig", std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.file + " " + row.signature + " " + std::to_string(row.keys.size()));
    std::unique_ptr<platform::PlainFile> file = platform::HoldFile(Signed(row.file));
    ASSERT_TRUE(file);
    EXPECT_EQ(vlr::VerifyingKey(row.keys, *file, Signed(row.signature)), row.key);
  }
}

// The digest in lower-case hex, or "none".
std::string Sha256Text(const std::string& name) {
  std::unique_ptr<platform::PlainFile> file = platform::HoldFile(Signed(name));
  if (!file) return "none";
  const std::string hex = vlr::Sha256Hex(*file);
  return hex.empty() ? "none" : hex;
}

TEST(FileSha256, AgreesWithTheStockToolAndFailsOnAMissingFile) {
  // sha256sum's lines: "<64 hex>  <name>".
  std::ifstream sums(platform::ToPath(Signed("sha256sums.txt")));
  std::string hex, name;
  int seen = 0;
  while (sums >> hex >> name) {
    EXPECT_EQ(Sha256Text(name), hex) << name;
    ++seen;
  }
  EXPECT_EQ(seen, 2);  // data.bin (several pieces) and empty.bin
  EXPECT_EQ(Sha256Text("missing.bin"), "none");
}

}  // namespace
