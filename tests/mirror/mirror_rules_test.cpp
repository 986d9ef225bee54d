// The mirror's rules, one table each.
#include <gtest/gtest.h>

#include <string>

#include "download/download_state.h"
#include "download/site_address.h"
#include "mirror/mirror_rules.h"
#include "platform/text.h"

namespace {

TEST(MirrorRules, SiteAddressNormalisation) {
  struct Case {
    const wchar_t* given;
    const wchar_t* expected;
  } cases[] = {
      {L"mirror.example/updates", L"http://mirror.example/updates/"},
      {L"mirror.example/updates/", L"http://mirror.example/updates/"},
      {L"http://mirror.example/updates", L"http://mirror.example/updates/"},
      {L"http://mirror.example/updates/", L"http://mirror.example/updates/"},
      {L"HTTP://mirror.example/", L"http://HTTP://mirror.example/"},
      {L"https://mirror.example/updates", L"https://mirror.example/updates/"},
      {L"https://mirror.example/", L"https://mirror.example/"},
      {L"HTTPS://mirror.example/", L"http://HTTPS://mirror.example/"},
      {L"https:/", L"http://https:/"},
      {L"", L"http://"},
      {L"http:/", L"http://http:/"},
      {L"/", L"http:///"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(vlr::NormalisedSiteAddress(c.given), c.expected)
        << "given \"" << platform::ToUtf8(c.given) << "\"";
    // The download's global takes the same rule in place.
    vlr::SiteAddress = c.given;
    vlr::NormaliseSiteAddress();
    EXPECT_EQ(vlr::SiteAddress, c.expected);
  }
  vlr::SiteAddress.clear();
}

// A folder mirror's address becomes the folder's path; texts that are web addresses
// (or were never working ones of another kind) keep their meaning.
TEST(MirrorRules, FolderAddresses) {
#ifdef _WIN32
  const wchar_t* share = L"\\\\server\\share\\veloran\\";
  const wchar_t* drive = L"X:\\veloran\\";
#else
  const wchar_t* share = L"file://server/share/veloran/";
  const wchar_t* drive = L"X:/veloran/";
#endif
  struct Case {
    const wchar_t* given;
    const wchar_t* expected;
  } cases[] = {
      {L"file://server/share/veloran", share},
      {L"FILE://server/share/veloran/", share},
      {L"file:///X:/veloran", drive},
      {L"file:///X:/vel%6Fran", drive},
      {L"/srv/veloran", L"http:///srv/veloran/"},
#ifdef _WIN32
      {L"\\\\server\\share\\veloran", share},
      {L"X:\\veloran", drive},
      {L"X:/veloran/", drive},
#else
      {L"file:///srv/veloran", L"file:///srv/veloran/"},
      {L"file:///srv/vel%20oran/", L"file:///srv/vel oran/"},
#endif
      {L"X:veloran", L"http://X:veloran/"},
      {L"host:8080/path", L"http://host:8080/path/"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(vlr::NormalisedSiteAddress(c.given), c.expected)
        << "given \"" << platform::ToUtf8(c.given) << "\"";
  }
}

TEST(MirrorRules, FileNamesAndTheShownVersion) {
  struct Case {
    const char* digits;
    bool french;
    const char* package;
    const char* dotted;
  } cases[] = {
      {"753", false, "vlr753.zip", "7.5.3"},
      {"753", true, "vlr753fr.zip", "7.5.3"},
      {"007", false, "vlr007.zip", "0.0.7"},
      {"", false, "vlr.zip", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(vlr::PackageName(c.digits, c.french), c.package);
    EXPECT_EQ(vlr::DottedVersion(c.digits), c.dotted);
  }
  EXPECT_EQ(vlr::SignatureName(vlr::kVersionFileName), "version.html.sig");
  EXPECT_EQ(vlr::SignatureName("vlr753fr.zip"), "vlr753fr.zip.sig");
  EXPECT_EQ(vlr::SecondSignatureName(vlr::kVersionFileName), "version.html.sig2");
  // Both signature files get the signature's size limit; the page does not.
  EXPECT_TRUE(vlr::IsSignatureName("version.html.sig"));
  EXPECT_TRUE(vlr::IsSignatureName("version.html.sig2"));
  EXPECT_FALSE(vlr::IsSignatureName("version.html"));
}

}  // namespace
