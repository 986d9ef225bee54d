// DownloadFile over the platform's real internet functions (libcurl on Linux,
// wininet under Wine) against the loopback mirror, writing real files.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "download/download_file.h"
#include "download/download_state.h"
#include "platform/internet.h"
#include "platform/services.h"
#include "platform/text.h"
#include "tests/download/download_doubles.h"
#include "tests/download/mirror_site.h"
#include "tests/support/wizard_fixture.h"

namespace {

// The real internet, watched: runs a hook after every read and notes DownloadState.
class WatchedInternet : public platform::Internet {
 public:
  platform::Internet& real = platform::DefaultService<platform::Internet>();
  std::function<void(std::uint32_t)> onRead;
  std::vector<std::int16_t> statesAtRead;
  std::uint32_t largestRead = 0;

  platform::InternetHandle InternetOpenA(const char* a, std::uint32_t t, const char* p,
                                         const char* b, std::uint32_t f) override {
    return real.InternetOpenA(a, t, p, b, f);
  }
  platform::InternetHandle InternetOpenUrlA(platform::InternetHandle s, const char* u,
                                            const char* h, std::uint32_t l, std::uint32_t f,
                                            std::uintptr_t c) override {
    return real.InternetOpenUrlA(s, u, h, l, f, c);
  }
  bool InternetReadFile(platform::InternetHandle h, void* b, std::uint32_t n,
                        std::uint32_t* got) override {
    bool ok = real.InternetReadFile(h, b, n, got);
    statesAtRead.push_back(vlr::DownloadState);
    if (ok && *got > largestRead) largestRead = *got;
    if (ok && onRead) onRead(*got);
    return ok;
  }
  bool InternetCloseHandle(platform::InternetHandle h) override { return real.InternetCloseHandle(h); }
  bool HttpQueryInfoA(platform::InternetHandle h, std::uint32_t i, void* b, std::uint32_t* l,
                      std::uint32_t* x) override {
    return real.HttpQueryInfoA(h, i, b, l, x);
  }
};

class DownloadMirrorTest : public vlrtest::WizardTest {
 protected:
  void SetUp() override {
    std::optional<std::wstring> site = vlrtest::MirrorSite();
    ASSERT_TRUE(site) << "the loopback mirror is not running (ctest fixture mirror_start)";
    site_ = *site;
    folder_ = vlrtest::ScratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
    Start(L"E " + site_);
  }

  // Downloads `remote` from the mirror path `prefix` into the scratch folder.
  std::int16_t Fetch(const std::wstring& prefix, const std::wstring& remote,
                     const std::wstring& local) {
    vlr::SiteAddress = site_ + prefix;
    return vlr::DownloadFile(remote, folder_ + local);
  }

  std::wstring Local(const std::wstring& name) const { return folder_ + name; }

  std::wstring site_;
  std::wstring folder_;
  WatchedInternet internet;
  platform::Use<platform::Internet> useInternet{internet};
};

TEST_F(DownloadMirrorTest, BodiesAreSavedByteForByte) {
  for (int size : {0, 1, 255, 256, 257, 512, 70000}) {
    SCOPED_TRACE(size);
    std::wstring name = L"body" + std::to_wstring(size) + L".bin";
    vlrtest::WriteAll(Local(name), "an older file that must be replaced entirely");
    std::int16_t result = Fetch(L"size/" + std::to_wstring(size), L"/" + name, name);
    EXPECT_EQ(result, size > 0 ? 1 : 0);
    ASSERT_TRUE(vlrtest::FileExists(Local(name)));
    EXPECT_EQ(vlrtest::ReadAll(Local(name)), vlrtest::MirrorPattern(size));
    EXPECT_EQ(vlr::DownloadState, 0);
  }
  EXPECT_LE(internet.largestRead, 256u);
}

TEST_F(DownloadMirrorTest, SiteWithoutSchemeOrSlashIsNormalisedInPlace) {
  vlr::SiteAddress = site_ + L"size/300";
  EXPECT_EQ(vlr::DownloadFile(L"version.html", Local(L"v.html")), 1);
  EXPECT_EQ(vlr::SiteAddress, L"http://" + site_ + L"size/300/");
  EXPECT_EQ(vlrtest::ReadAll(Local(L"v.html")), vlrtest::MirrorPattern(300));
  // Already normalised: used as it is.
  EXPECT_EQ(vlr::DownloadFile(L"version.html", Local(L"v2.html")), 1);
  EXPECT_EQ(vlr::SiteAddress, L"http://" + site_ + L"size/300/");
}

TEST_F(DownloadMirrorTest, ChunkedAndTrickledBodiesArriveWhole) {
  EXPECT_EQ(Fetch(L"chunked/size/5000/", L"a.bin", L"a.bin"), 1);
  EXPECT_EQ(vlrtest::ReadAll(Local(L"a.bin")), vlrtest::MirrorPattern(5000));
  EXPECT_EQ(Fetch(L"trickle/20/100/size/700/", L"b.bin", L"b.bin"), 1);
  EXPECT_EQ(vlrtest::ReadAll(Local(L"b.bin")), vlrtest::MirrorPattern(700));
}

TEST_F(DownloadMirrorTest, ErrorAnswersAreFailedDownloads) {
  // A missing file, a refusal, and a server error at the end of a redirect chain:
  // the final status decides, and its page is never kept as the file.
  for (const wchar_t* prefix : {L"", L"status/403/", L"redirect/2/status/500/"}) {
    SCOPED_TRACE(platform::ToUtf8(prefix));
    vlrtest::WriteAll(Local(L"version.html"), "older");
    EXPECT_EQ(Fetch(prefix, L"no-such-file.html", L"version.html"), 0);
    EXPECT_FALSE(vlrtest::FileExists(Local(L"version.html")));
    EXPECT_EQ(vlr::DownloadState, 0);
  }
  // A redirect chain that ends in a good answer is the file.
  EXPECT_EQ(Fetch(L"redirect/2/size/300/", L"r.bin", L"r.bin"), 1);
  EXPECT_EQ(vlrtest::ReadAll(Local(L"r.bin")), vlrtest::MirrorPattern(300));
}

TEST_F(DownloadMirrorTest, ClosedPortLeavesTheOlderFile) {
  vlrtest::WriteAll(Local(L"version.html"), "older");
  vlr::SiteAddress = L"127.0.0.1:1/";
  EXPECT_EQ(vlr::DownloadFile(L"version.html", Local(L"version.html")), 0);
  EXPECT_EQ(vlrtest::ReadAll(Local(L"version.html")), "older");
  EXPECT_EQ(vlr::DownloadState, 0);
  EXPECT_EQ(form->Label1.Caption().find(L"version.html"), std::wstring::npos);
}

TEST_F(DownloadMirrorTest, ResetMidBodyDeletesTheFile) {
  vlrtest::WriteAll(Local(L"p.zip"), "older");
  EXPECT_EQ(Fetch(L"reset/3000/size/10000/", L"p.zip", L"p.zip"), 1);
  EXPECT_FALSE(vlrtest::FileExists(Local(L"p.zip")));
  EXPECT_EQ(vlr::DownloadState, 0);
}

TEST_F(DownloadMirrorTest, LocalFileThatCannotBeCreatedGivesZero) {
  std::wstring folder = Local(L"taken");
  std::filesystem::create_directories(platform::ToPath(folder));
  EXPECT_EQ(Fetch(L"size/300/", L"x.bin", L"taken"), 0);
  EXPECT_TRUE(std::filesystem::is_directory(platform::ToPath(folder)));  // not deleted
  EXPECT_EQ(vlr::DownloadState, 0);
}

TEST_F(DownloadMirrorTest, CancelAfterTheFirstChunkThenANormalCall) {
  windows.QueueClick(form->Command3);
  EXPECT_EQ(Fetch(L"size/5000/", L"c.bin", L"c.bin"), 1);
  EXPECT_FALSE(vlrtest::FileExists(Local(L"c.bin")));
  EXPECT_EQ(vlr::DownloadState, 0);
  EXPECT_EQ(internet.statesAtRead.size(), 1u);  // stopped before the second read
  EXPECT_TRUE(system.started.empty());          // the click did not start Veloran

  internet.statesAtRead.clear();
  EXPECT_EQ(Fetch(L"size/5000/", L"c.bin", L"c.bin"), 1);
  EXPECT_EQ(vlrtest::ReadAll(Local(L"c.bin")), vlrtest::MirrorPattern(5000));
  ASSERT_FALSE(internet.statesAtRead.empty());
  for (std::int16_t s : internet.statesAtRead) EXPECT_EQ(s, 1);
}

TEST_F(DownloadMirrorTest, CancelAfterTheFinalEmptyReadDeletesTheCompleteFile) {
  internet.onRead = [this](std::uint32_t n) {
    if (n == 0) windows.QueueClick(form->Command3);
  };
  EXPECT_EQ(Fetch(L"size/600/", L"d.bin", L"d.bin"), 1);
  EXPECT_FALSE(vlrtest::FileExists(Local(L"d.bin")));
  EXPECT_EQ(vlr::DownloadState, 0);
}

TEST_F(DownloadMirrorTest, BodyShorterThanAnnouncedIsDeleted) {
  vlrtest::WriteAll(Local(L"s.zip"), "older");
  EXPECT_EQ(Fetch(L"short/300/size/1000/", L"s.zip", L"s.zip"), 1);
  EXPECT_FALSE(vlrtest::FileExists(Local(L"s.zip")));
  // Without an announced length the end of the connection is the end of the body.
  EXPECT_EQ(Fetch(L"chunked/size/1000/", L"c.zip", L"c.zip"), 1);
  EXPECT_EQ(vlrtest::ReadAll(Local(L"c.zip")), vlrtest::MirrorPattern(1000));
}

TEST_F(DownloadMirrorTest, ConnectionClosedWithoutAnswerLeavesTheOlderFile) {
  vlrtest::WriteAll(Local(L"n.zip"), "older");
  EXPECT_EQ(Fetch(L"stall/1/", L"n.zip", L"n.zip"), 0);
  EXPECT_EQ(vlrtest::ReadAll(Local(L"n.zip")), "older");
  EXPECT_EQ(vlr::DownloadState, 0);
}

TEST_F(DownloadMirrorTest, ProgressShowsThousandsReceived) {
  system.timeStep = 2.0;  // every chunk more than a second after the previous update
  EXPECT_EQ(Fetch(L"trickle/1/700/size/2600/", L"version.html", L"version.html"), 1);
  EXPECT_EQ(form->Label1.Caption(), L"version.html\r\n3 k");
  EXPECT_EQ(Fetch(L"size/2400/", L"version.html", L"version.html"), 1);
  EXPECT_EQ(form->Label1.Caption(), L"version.html\r\n2 k");
}

}  // namespace

