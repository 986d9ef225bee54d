// DownloadFile over the platform's real internet functions (libcurl on Linux,
// wininet under Wine) against the loopback mirror, writing real files.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
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

// The real internet, watched: runs a hook after every read and notes DownloadState;
// notes the headers of every request and can fail one without sending it.
class WatchedInternet : public platform::Internet {
 public:
  platform::Internet& real = platform::DefaultService<platform::Internet>();
  std::function<void(std::uint32_t)> onRead;
  std::function<void()> onOpen;        // before each request
  std::function<void()> onFailedRead;  // after a read that failed
  std::vector<std::int16_t> statesAtRead;
  std::uint32_t largestRead = 0;
  std::vector<std::string> headers;  // of each request, "GET" for none
  std::size_t failOpen = 0;          // 1 + the index of a request that fails unsent; 0 none

  platform::InternetHandle InternetOpenA(const char* a, std::uint32_t t, const char* p,
                                         const char* b, std::uint32_t f) override {
    return real.InternetOpenA(a, t, p, b, f);
  }
  platform::InternetHandle InternetOpenUrlA(platform::InternetHandle s, const char* u,
                                            const char* h, std::uint32_t l, std::uint32_t f,
                                            std::uintptr_t c) override {
    if (onOpen) onOpen();
    headers.push_back(l ? std::string(h, l) : std::string(h));
    if (headers.size() == failOpen) return 0;
    return real.InternetOpenUrlA(s, u, h, l, f, c);
  }
  bool InternetReadFile(platform::InternetHandle h, void* b, std::uint32_t n,
                        std::uint32_t* got) override {
    bool ok = real.InternetReadFile(h, b, n, got);
    statesAtRead.push_back(vlr::DownloadState);
    if (ok && *got > largestRead) largestRead = *got;
    if (ok && onRead) onRead(*got);
    if (!ok && onFailedRead) onFailedRead();
    return ok;
  }
  bool InternetCloseHandle(platform::InternetHandle h) override { return real.InternetCloseHandle(h); }
  bool HttpQueryInfoA(platform::InternetHandle h, std::uint32_t i, void* b, std::uint32_t* l,
                      std::uint32_t* x) override {
    return real.HttpQueryInfoA(h, i, b, l, x);
  }
};

// Keeps what the last download reported.
class LastReport : public vlr::DownloadObserver {
 public:
  LastReport() { vlr::SetDownloadObserver(this); }
  ~LastReport() override { vlr::ReleaseDownloadObserver(this); }
  void OnDownload(const vlr::DownloadReport& r) noexcept override { report = r; }
  vlr::DownloadReport report;
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
                     const std::wstring& local, vlr::OnBreak onBreak = vlr::OnBreak::kFail,
                     const vlr::DownloadLimits& limits = {}) {
    vlr::SiteAddress = site_ + prefix;
    return vlr::DownloadFile(remote, folder_ + local, onBreak, limits);
  }

  // A name no earlier run asked the mirror for: it breaks the first answer of a path once.
  static std::wstring Fresh(const std::wstring& name) {
    static int count = 0;
    return name + std::to_wstring(++count) + L"-" +
           std::to_wstring(std::chrono::steady_clock::now().time_since_epoch().count() %
                           1000000007);
  }

  // Notes the steady clock at each request: the fake one, which only waits move on.
  void TimeRequests() {
    opened.clear();
    internet.onOpen = [this] { opened.push_back(system.SteadySeconds()); };
  }

  std::vector<double> opened;

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
  EXPECT_EQ(Fetch(L"reset/3000/size/10000/", L"p.zip", L"p.zip"), 0);  // nothing fetched
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
  EXPECT_EQ(Fetch(L"short/300/size/1000/", L"s.zip", L"s.zip"), 0);
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

// A download allowed to continue survives a break: after a wait of about a second
// it asks for the rest, and keeps the bytes it has only when the answer continues the
// very same file.
TEST_F(DownloadMirrorTest, BrokenDownloadIsContinuedOnlyWithTheSameFile) {
  LastReport last;
  system.timeStep = 2.0;  // every chunk more than a second after the previous update
  struct Row {
    const wchar_t* then;
    const char* ifRange;
    std::uint32_t status;
    std::int32_t bytes;  // what the continuation brought
  } rows[] = {
      {L"range", "\"size-10000\"", 206, 7000},
      {L"ignore-range", "\"size-10000\"", 200, 10000},  // fetched whole again
      {L"changed", "\"old-size-10000\"", 200, 10000},   // the new file, whole
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(platform::ToUtf8(row.then));
    const std::wstring name = Fresh(L"p");
    TimeRequests();
    internet.headers.clear();
    std::vector<std::wstring> labels;  // as each read finds it
    std::size_t broke = 0;
    internet.onRead = [&](std::uint32_t) { labels.push_back(form->Label1.Caption()); };
    internet.onFailedRead = [&] { broke = labels.size(); };
    EXPECT_EQ(Fetch(L"break-once/3000/" + std::wstring(row.then) + L"/" + name + L"/size/10000/",
                    name, L"p.zip", vlr::OnBreak::kContinue),
              1);
    EXPECT_EQ(vlrtest::ReadAll(Local(L"p.zip")), vlrtest::MirrorPattern(10000));
    EXPECT_EQ(internet.headers,
              (std::vector<std::string>{
                  "GET", std::string("Range: bytes=3000-\r\nIf-Range: ") + row.ifRange + "\r\n"}));
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_GE(opened[1] - opened[0], 1.0);  // a second, and a little more at random
    EXPECT_LE(opened[1] - opened[0], 1.35);
    EXPECT_EQ(last.report.status, 200u);
    EXPECT_EQ(last.report.bytes, 3000);
    ASSERT_EQ(last.report.continuations.size(), 1u);
    EXPECT_EQ(last.report.continuations[0].offset, 3000);
    EXPECT_EQ(last.report.continuations[0].status, row.status);
    EXPECT_EQ(last.report.continuations[0].bytes, row.bytes);
    EXPECT_EQ(last.report.outcome, vlr::BreakOutcome::kComplete);
    // The progress goes on from the bytes kept (3,256 after the first chunk that
    // follows); a whole new file starts from zero (256).
    ASSERT_GT(labels.size(), broke + 1);
    EXPECT_EQ(labels[broke + 1], name + (row.status == 206 ? L"\r\n3 k" : L"\r\n0 k"));
  }
  internet.onRead = nullptr;
  internet.onFailedRead = nullptr;

  // Without leave to continue, the same break ends the download as it always did.
  const std::wstring name = Fresh(L"q");
  TimeRequests();
  system.pauses.clear();
  EXPECT_EQ(Fetch(L"break-once/3000/range/" + name + L"/size/10000/", name, L"q.zip"), 0);
  EXPECT_FALSE(vlrtest::FileExists(Local(L"q.zip")));
  EXPECT_EQ(opened.size(), 1u);
  EXPECT_TRUE(system.pauses.empty());
  EXPECT_EQ(last.report.outcome, vlr::BreakOutcome::kNone);
}

// What ends the continuations: a fourth break, an answer that does not continue the
// file, a stop request during a wait. A request that cannot be sent is one more break.
TEST_F(DownloadMirrorTest, ContinuationsEndAtTheFourthBreakAWrongAnswerOrAStop) {
  LastReport last;
  // Every answer, the parts too, is reset after 3,000 bytes.
  TimeRequests();
  EXPECT_EQ(Fetch(L"reset/3000/size/20000/", L"a.zip", L"a.zip", vlr::OnBreak::kContinue), 0);
  EXPECT_FALSE(vlrtest::FileExists(Local(L"a.zip")));
  ASSERT_EQ(opened.size(), 5u);
  for (std::size_t i = 1; i < opened.size(); ++i) {
    const double base = 1 << (i - 1);  // 1, 2, 4, 8 seconds
    EXPECT_GE(opened[i] - opened[i - 1], base) << i;
    EXPECT_LE(opened[i] - opened[i - 1], base * 1.25 + 0.1) << i;
  }
  // A reset may take the last bytes before it with it (Wine's wininet loses those it
  // had not handed out): each continuation asks from the bytes actually written.
  ASSERT_EQ(last.report.continuations.size(), 4u);
  std::int32_t written = last.report.bytes;
  for (const vlr::ContinuationReport& c : last.report.continuations) {
    EXPECT_EQ(c.offset, written);
    EXPECT_EQ(c.status, 206u);
    EXPECT_GT(c.bytes, 0);
    EXPECT_LE(c.bytes, 3000);
    written += c.bytes;
  }
  EXPECT_EQ(last.report.outcome, vlr::BreakOutcome::kGaveUp);

  // A 416 (and any answer but a fitting 206 or a 200) fails at once.
  std::wstring name = Fresh(L"b");
  TimeRequests();
  EXPECT_EQ(Fetch(L"break-once/3000/range/" + name + L"/range/416/size/10000/", name, L"b.zip",
                  vlr::OnBreak::kContinue),
            0);
  EXPECT_FALSE(vlrtest::FileExists(Local(L"b.zip")));
  EXPECT_EQ(opened.size(), 2u);
  ASSERT_EQ(last.report.continuations.size(), 1u);
  EXPECT_EQ(last.report.continuations[0].status, 416u);
  EXPECT_EQ(last.report.outcome, vlr::BreakOutcome::kRefused);

  // The first continuation cannot be sent: the second one, two seconds later, mends it.
  name = Fresh(L"c");
  TimeRequests();
  internet.headers.clear();
  internet.failOpen = 2;
  EXPECT_EQ(Fetch(L"break-once/3000/range/" + name + L"/size/10000/", name, L"c.zip",
                  vlr::OnBreak::kContinue),
            1);
  internet.failOpen = 0;
  EXPECT_EQ(vlrtest::ReadAll(Local(L"c.zip")), vlrtest::MirrorPattern(10000));
  ASSERT_EQ(opened.size(), 3u);
  EXPECT_GE(opened[2] - opened[1], 2.0);
  ASSERT_EQ(last.report.continuations.size(), 2u);
  EXPECT_EQ(last.report.continuations[0].status, 0u);
  EXPECT_EQ(last.report.continuations[1].offset, 3000);
  EXPECT_EQ(last.report.continuations[1].status, 206u);
  EXPECT_EQ(last.report.outcome, vlr::BreakOutcome::kComplete);

  // Cancel during the wait stops at once: no further request, no file.
  name = Fresh(L"d");
  TimeRequests();
  system.pauses.clear();
  internet.onFailedRead = [this] { windows.QueueClick(form->Command3); };
  EXPECT_EQ(Fetch(L"break-once/3000/range/" + name + L"/size/10000/", name, L"d.zip",
                  vlr::OnBreak::kContinue),
            1);
  EXPECT_FALSE(vlrtest::FileExists(Local(L"d.zip")));
  EXPECT_EQ(opened.size(), 1u);
  EXPECT_TRUE(system.pauses.empty());
  EXPECT_EQ(vlr::DownloadState, 0);
  EXPECT_TRUE(system.started.empty());  // the click stopped the download, nothing else
  EXPECT_EQ(last.report.outcome, vlr::BreakOutcome::kStopped);
}

// A hostile mirror gets no more than the length announced for the file: a 206 that runs
// on past its part, for 5 MB or for ever, is read up to the end of the file; a 206 that
// names another ETag, or a first answer announcing more than a package may hold, fails
// the download with nothing written.
TEST_F(DownloadMirrorTest, HostileAnswersEndAtTheLengthsAnnounced) {
  LastReport last;
  for (const wchar_t* how : {L"overrun", L"endless"}) {
    SCOPED_TRACE(platform::ToUtf8(how));
    const std::wstring name = Fresh(L"o");
    EXPECT_EQ(Fetch(L"break-once/3000/range/" + name + L"/range/" + how + L"/size/10000/", name,
                    L"o.zip", vlr::OnBreak::kContinue),
              1);
    EXPECT_EQ(vlrtest::ReadAll(Local(L"o.zip")), vlrtest::MirrorPattern(10000));
    EXPECT_EQ(last.report.bound, vlr::DownloadBound::kOverrun);
    EXPECT_EQ(last.report.announced, 10000);
    ASSERT_EQ(last.report.continuations.size(), 1u);
    EXPECT_EQ(last.report.continuations[0].status, 206u);
    EXPECT_EQ(last.report.continuations[0].bytes, 7000);
    EXPECT_EQ(last.report.outcome, vlr::BreakOutcome::kComplete);
  }

  const std::wstring name = Fresh(L"e");
  EXPECT_EQ(Fetch(L"break-once/3000/range/" + name + L"/range/etag/size/10000/", name, L"e.zip",
                  vlr::OnBreak::kContinue),
            0);
  EXPECT_FALSE(vlrtest::FileExists(Local(L"e.zip")));
  ASSERT_EQ(last.report.continuations.size(), 1u);
  EXPECT_EQ(last.report.continuations[0].status, 206u);
  EXPECT_EQ(last.report.outcome, vlr::BreakOutcome::kRefused);

  vlrtest::WriteAll(Local(L"h.zip"), "older");
  EXPECT_EQ(Fetch(L"announce/99999999999/size/1000/", L"h.zip", L"h.zip"), 0);
  EXPECT_FALSE(vlrtest::FileExists(Local(L"h.zip")));
  EXPECT_EQ(last.report.bound, vlr::DownloadBound::kTooLarge);
  EXPECT_EQ(last.report.announced, 99999999999);
  EXPECT_EQ(last.report.bytes, 0);
  // At the limit a length is taken (the body that follows is shorter: a break).
  EXPECT_EQ(Fetch(L"announce/2147483647/size/1000/", L"h.zip", L"h.zip"), 0);
  EXPECT_EQ(last.report.bound, vlr::DownloadBound::kNone);
  EXPECT_EQ(last.report.bytes, 1000);
}

// A mirror that drips two bytes a second never falls silent: the minimum rate makes
// each of its answers a break, and the deadline ends the download wherever it is. The
// steady clock is the test's: each read moves it on by a second.
TEST_F(DownloadMirrorTest, DrippingMirrorIsBrokenByTheMinimumRateAndEndedByTheDeadline) {
  LastReport last;
  internet.onRead = [this](std::uint32_t) { system.steadySeconds += 1.0; };
  vlr::DownloadLimits limits;
  limits.rateWindowSeconds = 2.0;

  EXPECT_EQ(Fetch(L"drip/size/100000/", L"a.zip", L"a.zip", vlr::OnBreak::kFail, limits), 0);
  EXPECT_FALSE(vlrtest::FileExists(Local(L"a.zip")));
  EXPECT_EQ(last.report.slowAnswers, 1);

  // Each continuation drips too: after the fourth, the download gives up.
  EXPECT_EQ(Fetch(L"drip/size/100000/", L"b.zip", L"b.zip", vlr::OnBreak::kContinue, limits), 0);
  EXPECT_FALSE(vlrtest::FileExists(Local(L"b.zip")));
  EXPECT_EQ(last.report.slowAnswers, 5);
  ASSERT_EQ(last.report.continuations.size(), 4u);
  EXPECT_EQ(last.report.continuations[3].status, 206u);
  EXPECT_EQ(last.report.outcome, vlr::BreakOutcome::kGaveUp);

  // The deadline: during a read (no minimum rate), before a continuation's wait, before
  // the request.
  vlr::DownloadLimits late;
  late.rateWindowSeconds = 0.0;
  late.deadline = system.steadySeconds + 1.5;
  EXPECT_EQ(Fetch(L"drip/size/100000/", L"c.zip", L"c.zip", vlr::OnBreak::kContinue, late), 0);
  EXPECT_FALSE(vlrtest::FileExists(Local(L"c.zip")));
  EXPECT_EQ(last.report.bound, vlr::DownloadBound::kDeadline);
  EXPECT_EQ(last.report.bytes, 2);

  limits.deadline = system.steadySeconds + 3.0;  // passed during the wait after a break
  TimeRequests();
  EXPECT_EQ(Fetch(L"drip/size/100000/", L"d.zip", L"d.zip", vlr::OnBreak::kContinue, limits), 0);
  EXPECT_EQ(opened.size(), 1u);
  EXPECT_EQ(last.report.outcome, vlr::BreakOutcome::kDeadline);
  EXPECT_EQ(last.report.bound, vlr::DownloadBound::kDeadline);

  vlrtest::WriteAll(Local(L"e.zip"), "older");
  limits.deadline = system.steadySeconds;  // already passed when the download begins
  TimeRequests();
  EXPECT_EQ(Fetch(L"size/1000/", L"e.zip", L"e.zip", vlr::OnBreak::kFail, limits), 0);
  EXPECT_TRUE(opened.empty());
  EXPECT_EQ(vlrtest::ReadAll(Local(L"e.zip")), "older");
  EXPECT_EQ(last.report.bound, vlr::DownloadBound::kDeadline);
}

}  // namespace
