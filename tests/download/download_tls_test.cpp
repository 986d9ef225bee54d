// DownloadFile from https mirrors, with the real wininet or libcurl checking the
// certificates against the system's store. Run by tests/tls/tls_run.sh, which starts the
// mirrors and trusts the test root for this run only.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "download/download_file.h"
#include "download/download_state.h"
#include "platform/text.h"

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

class DownloadTlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Env("VLR_TLS_TRUSTED").empty()) GTEST_FAIL() << "run through tests/tls/tls_run.sh";
    local = std::filesystem::temp_directory_path() / "vlr_tls_test.txt";
    std::filesystem::remove(local);
  }
  void TearDown() override {
    std::filesystem::remove(local);
    vlr::SiteAddress.clear();
  }

  int Fetch(const std::string& site, const std::string& path = "") {
    vlr::SiteAddress = platform::FromUtf8("https://" + site + "/" + path);
    return vlr::DownloadFile(L"tls.txt", local.wstring());
  }

  std::string Local() const {
    std::ifstream in(local, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::filesystem::path local;
};

TEST_F(DownloadTlsTest, TrustedMirrorServesTheFileAndKeepsItsScheme) {
  const std::string why = Env("VLR_TLS_NO_TRUST");
  if (!why.empty()) GTEST_SKIP() << "the test root cannot be trusted here: " << why;
  EXPECT_EQ(Fetch(Env("VLR_TLS_TRUSTED")), 1);
  EXPECT_EQ(Local(), "served over https\r\n");
  EXPECT_EQ(platform::ToUtf8(vlr::SiteAddress), "https://" + Env("VLR_TLS_TRUSTED") + "/");
}

// The trusted mirror redirects to a plain http mirror that serves the same file: an
// https download never leaves https, whatever the library would follow.
TEST_F(DownloadTlsTest, RedirectionFromHttpsToHttpIsRefused) {
  const std::string why = Env("VLR_TLS_NO_TRUST");
  if (!why.empty()) GTEST_SKIP() << "the test root cannot be trusted here: " << why;
  std::ofstream(local, std::ios::binary) << "older";
  EXPECT_EQ(Fetch(Env("VLR_TLS_TRUSTED"), "to-http/" + Env("VLR_TLS_PLAIN_PORT") + "/"), 0);
  EXPECT_EQ(Local(), "older");
}

TEST_F(DownloadTlsTest, UntrustedCertificateIsRefusedAndAnOlderFileStays) {
  std::ofstream(local, std::ios::binary) << "older";
  EXPECT_EQ(Fetch(Env("VLR_TLS_UNTRUSTED")), 0);
  EXPECT_EQ(Local(), "older");
}

TEST_F(DownloadTlsTest, CertificateForAnotherNameIsRefused) {
  EXPECT_EQ(Fetch(Env("VLR_TLS_MISMATCH")), 0);
  EXPECT_FALSE(std::filesystem::exists(local));
}

}  // namespace
