// DownloadFile against a scripted internet and an in-memory disk: the calls it makes,
// the endings of the transfer, the progress message and its timing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "download/download_file.h"
#include "mirror/mirror_rules.h"
#include "download/download_state.h"
#include "platform/services.h"
#include "tests/download/download_doubles.h"
#include "tests/support/wizard_fixture.h"

namespace {

const std::wstring kLocal = L"C:\\TEMP\\version.html";

class DownloadFakeTest : public vlrtest::WizardTest {
 protected:
  DownloadFakeTest() {
    Start(L"E mirror.example/updates");
    // Every read of the label goes through here so that a test sees its history.
    internet.onRead = [this](std::uint32_t) { Observe(); };
  }

  void Observe() {
    states.push_back(vlr::DownloadState);
    const std::wstring& caption = form->Label1.Caption();
    if (captions.empty() || captions.back() != caption) captions.push_back(caption);
  }

  std::int16_t Download(const std::wstring& remote = L"version.html") {
    captions.clear();
    captions.push_back(form->Label1.Caption());
    return vlr::DownloadFile(remote, kLocal);
  }

  vlrtest::FakeInternet internet;
  vlrtest::MemoryFiles files;
  platform::Use<platform::Internet> useInternet{internet};
  platform::Use<vlr::LocalFiles> useFiles{files};
  std::vector<std::int16_t> states;
  std::vector<std::wstring> captions;  // Label1's captions in order, starting before the call
};

TEST_F(DownloadFakeTest, PassesTheArgumentsOfTheFourCalls) {
  internet.chunks = {10};
  EXPECT_EQ(Download(), 1);
  ASSERT_EQ(internet.opens.size(), 1u);
  EXPECT_EQ(internet.opens[0].agent, "");
  EXPECT_EQ(internet.opens[0].accessType, 0u);
  EXPECT_TRUE(internet.opens[0].proxyNull);
  EXPECT_TRUE(internet.opens[0].bypassNull);
  EXPECT_EQ(internet.opens[0].flags, 0u);
  ASSERT_EQ(internet.urls.size(), 1u);
  EXPECT_EQ(internet.urls[0].session, vlrtest::FakeInternet::kSession);
  EXPECT_EQ(internet.urls[0].url, "http://mirror.example/updates/version.html");
  EXPECT_EQ(internet.urls[0].headers, "GET");
  EXPECT_EQ(internet.urls[0].headersLength, 0u);
  EXPECT_EQ(internet.urls[0].flags, 0x80400000u);
  EXPECT_EQ(internet.urls[0].context, 0u);
  for (std::uint32_t n : internet.asked) EXPECT_EQ(n, 256u);
  // URL handle first, then the internet handle.
  EXPECT_EQ(internet.closed, (std::vector<platform::InternetHandle>{
                                 vlrtest::FakeInternet::kUrl, vlrtest::FakeInternet::kSession}));
  EXPECT_EQ(vlr::SiteAddress, L"http://mirror.example/updates/");
}

TEST_F(DownloadFakeTest, RemoteNameIsTakenAsItWasPassed) {
  // The caller's text is read before the normalisation rewrites SiteAddress.
  vlr::SiteAddress = L"x";
  vlr::DownloadFile(vlr::SiteAddress, kLocal);
  ASSERT_EQ(internet.urls.size(), 1u);
  EXPECT_EQ(internet.urls[0].url, "http://x/x");
}

TEST_F(DownloadFakeTest, NoSessionOrNoAnswerLeavesTheFileAlone) {
  files.files[kLocal].data = "older";
  internet.sessionFails = true;
  vlr::SiteAddress = L"host/dir";
  EXPECT_EQ(Download(), 0);
  EXPECT_EQ(vlr::SiteAddress, L"http://host/dir/");  // normalised all the same
  EXPECT_TRUE(internet.urls.empty());
  EXPECT_TRUE(internet.closed.empty());

  internet.sessionFails = false;
  internet.urlFails = true;
  EXPECT_EQ(Download(), 0);
  EXPECT_EQ(internet.closed, std::vector<platform::InternetHandle>{vlrtest::FakeInternet::kSession});
  EXPECT_TRUE(files.log.empty());
  EXPECT_EQ(files.files[kLocal].data, "older");
  EXPECT_EQ(vlr::DownloadState, 0);
}

TEST_F(DownloadFakeTest, WritesTheChunksInOrderAndPumpsAfterEveryRead) {
  files.files[kLocal].data = "an older, longer file that must go";
  internet.chunks = {256, 1, 100, 256};
  EXPECT_EQ(Download(), 1);
  EXPECT_EQ(files.files[kLocal].data, vlrtest::MirrorPattern(613));
  EXPECT_EQ(files.log, (std::vector<std::string>{"delete", "create", "close"}));
  EXPECT_EQ(windows.PumpCount(), 5);  // four chunks and the final empty read
  EXPECT_EQ(states, (std::vector<std::int16_t>{1, 1, 1, 1, 1}));
  EXPECT_EQ(vlr::DownloadState, 0);
}

TEST_F(DownloadFakeTest, EmptyBodyLeavesAnEmptyFileAndGivesZero) {
  EXPECT_EQ(Download(), 0);
  ASSERT_EQ(files.files.count(kLocal), 1u);
  EXPECT_EQ(files.files[kLocal].size, 0u);
  EXPECT_EQ(files.log, (std::vector<std::string>{"delete", "create", "close"}));
}

TEST_F(DownloadFakeTest, FailedReadDeletesTheFileWithoutAPump) {
  internet.failAtEnd = true;
  EXPECT_EQ(Download(), 0);  // nothing written yet
  EXPECT_EQ(files.files.count(kLocal), 0u);
  EXPECT_EQ(windows.PumpCount(), 0);

  internet = vlrtest::FakeInternet();
  internet.chunks = {256, 256};
  internet.failAtEnd = true;
  EXPECT_EQ(Download(), 0);  // chunks had been written, and were deleted: nothing fetched
  EXPECT_EQ(files.files.count(kLocal), 0u);
  EXPECT_EQ(windows.PumpCount(), 2);  // none in the pass of the failed read
  EXPECT_EQ(files.log.back(), "delete");
  EXPECT_EQ(vlr::DownloadState, 0);
  EXPECT_EQ(internet.closed.size(), 2u);
}

// Only a 200 answer is the file: a part of it (206), a redirection that was not
// followed (a 3xx without Location) and an error page are failed downloads.
TEST_F(DownloadFakeTest, AnyStatusBut200WritesNothingAndGivesZero) {
  for (std::uint32_t status : {206u, 302u, 399u, 400u, 403u, 500u}) {
    SCOPED_TRACE(status);
    internet = vlrtest::FakeInternet();
    internet.status = status;
    internet.chunks = {256, 10};
    files.files[kLocal].data = "older";
    files.log.clear();
    EXPECT_EQ(Download(), 0);
    EXPECT_EQ(internet.queries, std::vector<std::uint32_t>{0x20000013u});  // status, as a number
    EXPECT_EQ(internet.reads, 0u);
    EXPECT_EQ(files.files.count(kLocal), 0u);
    EXPECT_EQ(files.log, std::vector<std::string>{"delete"});
    EXPECT_EQ(internet.closed.size(), 2u);
    EXPECT_EQ(vlr::DownloadState, 0);
  }
  internet = vlrtest::FakeInternet();
  internet.status = 200;
  internet.chunks = {10};
  EXPECT_EQ(Download(), 1);
  EXPECT_EQ(files.files[kLocal].data, vlrtest::MirrorPattern(10));
}

TEST_F(DownloadFakeTest, FileThatCannotBeCreatedGivesZero) {
  files.files[kLocal].data = "older";
  files.createFails = true;
  internet.chunks = {256};
  EXPECT_EQ(Download(), 0);
  EXPECT_EQ(files.files.count(kLocal), 0u);  // the older file was deleted first
  EXPECT_EQ(internet.reads, 0u);
  EXPECT_EQ(vlr::DownloadState, 0);
  EXPECT_EQ(internet.closed.size(), 2u);
}

TEST_F(DownloadFakeTest, FailedWriteKeepsWhatWasWritten) {
  internet.chunks = {256, 256, 256, 256};
  files.failWriteAfter = 600;
  EXPECT_EQ(Download(), 1);
  ASSERT_EQ(files.files.count(kLocal), 1u);
  EXPECT_EQ(files.files[kLocal].data, vlrtest::MirrorPattern(512));
  EXPECT_EQ(files.log, (std::vector<std::string>{"delete", "create", "close"}));
  EXPECT_EQ(internet.reads, 3u);  // the transfer ended at the failed write

  files.files.clear();
  files.failWriteAfter = 0;
  EXPECT_EQ(Download(), 0);  // not even the first chunk reached the file
  EXPECT_EQ(files.files.count(kLocal), 1u);
}

TEST_F(DownloadFakeTest, PlatformExceptionEndsTheTransferQuietly) {
  internet.chunks = {256};
  internet.throwAtEnd = true;
  std::int16_t result = -1;
  EXPECT_NO_THROW(result = Download());
  EXPECT_EQ(result, 1);
  EXPECT_EQ(files.files[kLocal].data, vlrtest::MirrorPattern(256));  // kept, as written
  EXPECT_FALSE(files.files[kLocal].open);
  EXPECT_EQ(vlr::DownloadState, 0);
  EXPECT_EQ(internet.closed.size(), 2u);
}

TEST_F(DownloadFakeTest, CancelAfterTheFirstChunkDeletesTheFile) {
  internet.chunks = std::vector<std::uint32_t>(10, 256);
  windows.QueueClick(form->Command3);
  EXPECT_EQ(Download(), 1);
  EXPECT_EQ(internet.reads, 1u);
  EXPECT_EQ(files.files.count(kLocal), 0u);
  EXPECT_EQ(vlr::DownloadState, 0);
  EXPECT_EQ(system.started.size(), 0u);  // the click stopped the download, nothing else

  // The next call starts afresh.
  internet = vlrtest::FakeInternet();
  internet.chunks = {256, 3};
  internet.onRead = [this](std::uint32_t) { Observe(); };
  states.clear();
  EXPECT_EQ(Download(), 1);
  EXPECT_EQ(files.files[kLocal].data, vlrtest::MirrorPattern(259));
  EXPECT_EQ(states, (std::vector<std::int16_t>{1, 1, 1}));
}

TEST_F(DownloadFakeTest, CancelAfterTheFinalEmptyReadDeletesTheCompleteFile) {
  internet.chunks = {256, 100};
  internet.onRead = [this](std::uint32_t n) {
    if (n == 0) windows.QueueClick(form->Command3);
  };
  EXPECT_EQ(Download(), 1);
  EXPECT_EQ(files.files.count(kLocal), 0u);
  EXPECT_EQ(files.log, (std::vector<std::string>{"delete", "create", "close", "delete"}));
  EXPECT_EQ(vlr::DownloadState, 0);
}

TEST_F(DownloadFakeTest, ProgressMessageShowsRoundedThousands) {
  system.timeStep = 2.0;  // every chunk comes more than a second after the one before
  struct Case {
    std::uint32_t bytes;
    const wchar_t* line;
  } cases[] = {{2600, L"version.html\r\n3 k"}, {2400, L"version.html\r\n2 k"},
               {2500, L"version.html\r\n3 k"}, {499, L"version.html\r\n0 k"},
               {1, L"version.html\r\n0 k"}};
  for (const Case& c : cases) {
    internet = vlrtest::FakeInternet();
    for (std::uint32_t left = c.bytes; left > 0; left -= std::min(left, 256u))
      internet.chunks.push_back(std::min(left, 256u));
    EXPECT_EQ(Download(), 1);
    EXPECT_EQ(form->Label1.Caption(), c.line) << c.bytes;
  }
}

TEST_F(DownloadFakeTest, LabelChangesAtMostAboutOnceASecond) {
  system.timeOfDay = 12 * 3600.0;
  system.timeStep = 0.3;  // the clock is read once per chunk, twice on an update
  internet.chunks = std::vector<std::uint32_t>(12, 256);
  EXPECT_EQ(Download(), 1);
  // Readings: chunk 1 at 43200.0 (shown; last update set from 43200.3), chunks 2-4 at
  // 43200.6, .9, 43201.2 (within a second), chunk 5 at 43201.5 (shown; set from
  // 43201.8), ..., chunk 9 at 43203.0 (shown), chunks 10-12 within the second after.
  ASSERT_EQ(captions.size(), 4u);
  EXPECT_EQ(captions[1], L"version.html\r\n0 k");  // 256 bytes
  EXPECT_EQ(captions[2], L"version.html\r\n1 k");  // 1,280 bytes
  EXPECT_EQ(captions[3], L"version.html\r\n2 k");  // 2,304 bytes
  // The final total (3,072 bytes, "3 k") is not shown: its chunk came within a second.
  EXPECT_EQ(form->Label1.Caption(), L"version.html\r\n2 k");
}

TEST_F(DownloadFakeTest, CallStartingHalfASecondAfterMidnightWaitsForTheFirstUpdate) {
  system.timeOfDay = 0.5;
  system.timeStep = 0.125;  // exact in binary: the readings hit 1.0 exactly
  internet.chunks = std::vector<std::uint32_t>(8, 256);
  const std::wstring before = form->Label1.Caption();
  std::size_t chunk = 0, firstChange = 0;
  // Each read sees the label as the chunks before it left it.
  internet.onRead = [&](std::uint32_t n) {
    if (firstChange == 0 && form->Label1.Caption() != before) firstChange = chunk;
    if (n != 0) ++chunk;
  };
  EXPECT_EQ(Download(), 1);
  // Readings per chunk: 0.5, 0.625, 0.75, 0.875, 1.0 (not past 1.0), 1.125: the
  // sixth chunk (1,536 bytes) is the first one shown.
  EXPECT_EQ(firstChange, 6u);
  EXPECT_EQ(form->Label1.Caption(), L"version.html\r\n2 k");
}

// A clock that runs through midnight: the fall to 0 counts as more than a second.
class MidnightClock : public vlrtest::FakeSystem {
 public:
  std::vector<double> readings;
  std::size_t next = 0;
  double TimeOfDay() override { return next < readings.size() ? readings[next++] : readings.back(); }
};

TEST_F(DownloadFakeTest, FallOfTheClockAtMidnightCountsAsASecond) {
  MidnightClock clock;
  // chunk 1: 86399.6 (shown, set 86399.7); chunk 2: 86399.9 (not shown); chunk 3:
  // 0.05 (|0.05 - 86399.7| > 1: shown, set 0.1); chunk 4: 0.3 (not shown).
  clock.readings = {86399.6, 86399.7, 86399.9, 0.05, 0.1, 0.3};
  platform::Use<platform::System> useClock(clock);
  internet.chunks = {1000, 1000, 1000, 1000};
  internet.onRead = [this](std::uint32_t) { Observe(); };
  EXPECT_EQ(Download(), 1);
  ASSERT_EQ(captions.size(), 3u);
  EXPECT_EQ(captions[1], L"version.html\r\n0 k");  // 256 bytes at most per chunk
  EXPECT_EQ(form->Label1.Caption(), L"version.html\r\n1 k");  // 768 bytes after chunk 3
}

TEST_F(DownloadFakeTest, RunningTotalPastThePackageLimitFailsTheDownload) {
  // 256-byte chunks without end, counted but not stored: 8,388,607 chunks fit
  // (2,147,483,392 bytes); the next one would pass 2,147,483,647, kMaxPackageBytes.
  internet.endlessChunk = 256;
  internet.onRead = nullptr;
  files.countOnly = true;
  EXPECT_EQ(Download(), 0);
  EXPECT_EQ(files.files.count(kLocal), 0u);  // closed and deleted: nothing fetched
  EXPECT_EQ(files.log, (std::vector<std::string>{"delete", "create", "close", "delete"}));
  EXPECT_EQ(internet.reads, 8388608u);
  EXPECT_EQ(vlr::DownloadState, 0);
  EXPECT_EQ(internet.closed.size(), 2u);
}

}  // namespace

namespace {

// A signature answer stops as soon as it is larger than any signature can be.
TEST_F(DownloadFakeTest, SignatureLargerThanItsLimitStopsAndLeavesNoFile) {
  internet.endlessChunk = 256;
  EXPECT_EQ(Download(L"version.html.sig"), 0);
  EXPECT_EQ(internet.reads, vlr::kMaxSignatureBytes / 256 + 1);
  EXPECT_EQ(files.files.count(kLocal), 0u);
  internet = vlrtest::FakeInternet();
  internet.chunks = std::vector<std::uint32_t>(vlr::kMaxSignatureBytes / 256, 256);
  EXPECT_EQ(Download(L"version.html.sig"), 1);  // at the limit: still one
  EXPECT_EQ(files.files[kLocal].data.size(), vlr::kMaxSignatureBytes);
}

}  // namespace
