// Files signed by the stock openssl command, checked by the system's cryptography: CNG
// in the Windows build, libcrypto in the native one.
#include "signature/file_signature.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "platform/text.h"
#include "tests/support/test_paths.h"

namespace {

std::wstring Signed(const std::string& name) {
  return platform::FromUtf8(vlrtest::HostPath(std::string(VLR_SIGNED_FILES) + "/" + name));
}

// The 65-byte point of the test key: the last bytes of its DER SubjectPublicKeyInfo.
std::vector<std::uint8_t> TestKey() {
  std::ifstream in(platform::ToPath(Signed("test_public.der")), std::ios::binary);
  std::vector<std::uint8_t> der((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(der.size(), 91u);
  return der.size() < 65 ? der : std::vector<std::uint8_t>(der.end() - 65, der.end());
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

}  // namespace
