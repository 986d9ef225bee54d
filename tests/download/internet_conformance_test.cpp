// The internet functions of both builds (libcurl on Linux, wininet under Wine) against
// the loopback mirror: one contract, which the download and vlrpublish rely on.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "platform/http_policy.h"
#include "download/http_resume.h"
#include "tests/support/scoped_env.h"
#include "platform/internet.h"
#include "platform/services.h"
#include "platform/text.h"
#include "tests/download/download_doubles.h"
#include "tests/download/mirror_site.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

class InternetConformanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::optional<std::wstring> site = vlrtest::MirrorSite();
    ASSERT_TRUE(site) << "the loopback mirror is not running (ctest fixture mirror_start)";
    base_ = "http://" + platform::ToUtf8(*site);
  }
  void TearDown() override { Close(); }

  // Opens `url` (base + path when it has no scheme) in a new session with the
  // download's flags, and `headers` when there are any; the URL handle or 0.
  platform::InternetHandle Open(const std::string& path, const std::string& headers = "") {
    Close();
    session_ = net.InternetOpenA("", 0, nullptr, nullptr, 0);
    EXPECT_NE(session_, 0u);
    const std::string url = path.find("://") == std::string::npos ? base_ + path : path;
    url_ = net.InternetOpenUrlA(session_, url.c_str(), headers.empty() ? "GET" : headers.c_str(),
                                static_cast<std::uint32_t>(headers.size()), 0x80400000u, 0);
    return url_;
  }

  void Close() {
    if (url_) net.InternetCloseHandle(url_);
    if (session_) net.InternetCloseHandle(session_);
    url_ = session_ = 0;
  }

  std::uint32_t Status() {
    std::uint32_t code = 0, size = sizeof code, index = 0;
    EXPECT_TRUE(net.HttpQueryInfoA(url_, 0x20000013u, &code, &size, &index));
    return code;
  }

  std::string Announced() {
    char text[32] = {};
    std::uint32_t size = sizeof text - 1, index = 0;
    if (!net.HttpQueryInfoA(url_, platform::kHttpQueryContentLength, text, &size, &index)) return "";
    return text;
  }

  std::string FinalUrl() {
    char text[1024] = {};
    std::uint32_t size = sizeof text;
    if (!net.InternetQueryOptionA(url_, platform::kInternetOptionUrl, text, &size)) return "";
    return text;
  }

  // Reads to the end `ask` bytes at a time (the download's steps); false when a read
  // failed.
  bool ReadAll(std::string& body, std::uint32_t ask = 256) {
    char buffer[1024];
    for (int guard = 0; guard < 100000; ++guard) {
      std::uint32_t n = 12345;
      if (!net.InternetReadFile(url_, buffer, ask, &n)) return false;
      EXPECT_LE(n, ask);
      if (n == 0) return true;
      body.append(buffer, n);
    }
    return false;
  }

  platform::Internet& net = platform::DefaultService<platform::Internet>();
  std::string base_;
  platform::InternetHandle session_ = 0;
  platform::InternetHandle url_ = 0;
};

TEST_F(InternetConformanceTest, ReadsHandOutAtMostWhatIsAskedAndZeroAtTheEnd) {
  ASSERT_NE(Open("size/1000/a.bin"), 0u);
  char buffer[1024];
  std::string body;
  for (std::uint32_t ask : {1u, 10u, 256u, 1024u}) {
    std::uint32_t n = 0;
    ASSERT_TRUE(net.InternetReadFile(url_, buffer, ask, &n));
    EXPECT_GE(n, 1u);
    EXPECT_LE(n, ask);
    body.append(buffer, n);
  }
  ASSERT_TRUE(ReadAll(body, 100));
  EXPECT_EQ(body, vlrtest::MirrorPattern(1000));
  std::uint32_t n = 7;
  EXPECT_TRUE(net.InternetReadFile(url_, buffer, 256, &n));  // still the end
  EXPECT_EQ(n, 0u);
}

TEST_F(InternetConformanceTest, BodyShorterThanAnnouncedFailsTheLastRead) {
  ASSERT_NE(Open("short/100/size/1000/x"), 0u);
  EXPECT_EQ(Status(), 200u);
  EXPECT_EQ(Announced(), "1000");
  std::string body;
  EXPECT_FALSE(ReadAll(body));
  EXPECT_EQ(body, vlrtest::MirrorPattern(100));
  EXPECT_FALSE(net.LastErrorText().empty());

  ASSERT_NE(Open("size/1000/x"), 0u);  // and a whole one ends with a read of 0
  body.clear();
  EXPECT_TRUE(ReadAll(body));
  EXPECT_EQ(body, vlrtest::MirrorPattern(1000));
}

TEST_F(InternetConformanceTest, SilentServerIsGivenUp) {
  vlrtest::ScopedEnv timeouts("VLR_INTERNET_TIMEOUT", "1");  // read when the session opens
  // Headers, then silence: the open returns with the headers, the read times out.
  auto start = Clock::now();
  ASSERT_NE(Open("silent/8/size/100/x"), 0u);
  std::string body;
  EXPECT_FALSE(ReadAll(body));
  EXPECT_LT(SecondsSince(start), 6.0);
  // Not even headers: the open itself fails.
  start = Clock::now();
  EXPECT_EQ(Open("stall/8/x"), 0u);
  EXPECT_LT(SecondsSince(start), 6.0);
}

TEST_F(InternetConformanceTest, RedirectionsAreFollowedABoundedNumberOfTimes) {
  ASSERT_NE(Open("redirect/2/size/300/x"), 0u);
  EXPECT_EQ(Status(), 200u);
  EXPECT_EQ(FinalUrl(), base_ + "redirect/0/size/300/x");
  std::string body;
  EXPECT_TRUE(ReadAll(body));
  EXPECT_EQ(body, vlrtest::MirrorPattern(300));

  EXPECT_NE(Open("redirect/10/size/300/x"), 0u);  // ten: followed
  EXPECT_EQ(Open("redirect/11/size/300/x"), 0u);  // one too many
  const auto start = Clock::now();
  EXPECT_EQ(Open("loop/x"), 0u);
  EXPECT_LT(SecondsSince(start), 10.0);
  EXPECT_FALSE(net.LastErrorText().empty());
}

TEST_F(InternetConformanceTest, ErrorAnswersAreAnswersWithTheirStatus) {
  for (std::uint32_t code : {404u, 403u}) {
    ASSERT_NE(Open("status/" + std::to_string(code) + "/x"), 0u) << code;
    EXPECT_EQ(Status(), code);
    EXPECT_EQ(FinalUrl(), base_ + "status/" + std::to_string(code) + "/x");
    std::string body;
    EXPECT_TRUE(ReadAll(body));
    EXPECT_NE(body.find(std::to_string(code)), std::string::npos);
  }
}

// A download that broke after 1,000 bytes asks for the rest as the first answer allows
// and judges the answer by one rule: the validators and the length of the first
// answer, the Range and If-Range sent, and the status and Content-Range of the
// second, all through the seam.
TEST_F(InternetConformanceTest, ContinuationsAreAskedAndJudgedByOneRule) {
  using Verdict = platform::ContinuationVerdict;
  const std::string kDate = "Sat, 01 Jan 2022 00:00:00 GMT";
  // The mirror breaks the first answer of a path once: a name of this run's own.
  const std::string once =
      "c" + std::to_string(Clock::now().time_since_epoch().count() % 1000000007);
  struct Row {
    std::string path;
    std::string ifRange;  // empty: no Range asked, the file is fetched whole again
    Verdict verdict;
  } rows[] = {
      {"size/5000/x", "\"size-5000\"", Verdict::kAppend},
      {"validators/date/size/5000/x", kDate, Verdict::kAppend},
      {"validators/weak-date/size/5000/x", kDate, Verdict::kAppend},  // never the weak tag
      {"validators/weak/size/5000/x", "", Verdict::kRestart},
      {"validators/none/size/5000/x", "", Verdict::kRestart},
      {"range/ignore/size/5000/x", "\"size-5000\"", Verdict::kRestart},
      {"range/start/size/5000/x", "\"size-5000\"", Verdict::kRefuse},
      {"range/total/size/5000/x", "\"size-5000\"", Verdict::kRefuse},
      {"range/short/size/5000/x", "\"size-5000\"", Verdict::kRefuse},
      {"range/416/size/5000/x", "\"size-5000\"", Verdict::kRefuse},
      {"range/etag/size/5000/x", "\"size-5000\"", Verdict::kRefuse},  // a part of another file
      // The file changed after the break: the old answer's tag gets the new file whole.
      {"break-once/1000/changed/" + once + "/size/5000/" + once, "\"old-size-5000\"",
       Verdict::kRestart},
  };
  const std::int64_t offset = 1000;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    ASSERT_NE(Open(row.path), 0u);
    ASSERT_EQ(Status(), 200u);
    const platform::FileIdentity file = platform::AnswerIdentity(net, url_);
    EXPECT_EQ(file.length, 5000);
    const std::string headers = platform::ContinuationHeaders(file, offset);
    EXPECT_EQ(headers, row.ifRange.empty() ? ""
                                           : "Range: bytes=1000-\r\nIf-Range: " + row.ifRange +
                                                 "\r\n");

    ASSERT_NE(Open(row.path, headers), 0u);
    const auto status = platform::AnswerStatus(net, url_);
    const auto range = platform::AnswerHeader(net, url_, platform::kHttpQueryContentRange);
    const auto etag = platform::AnswerHeader(net, url_, platform::kHttpQueryEtag);
    EXPECT_EQ(platform::JudgeContinuation(!headers.empty(), status, range, etag, offset, file),
              row.verdict)
        << (status ? *status : 0) << " " << range.value_or("(no Content-Range)");
    std::string body;
    EXPECT_TRUE(ReadAll(body));
    if (row.verdict != Verdict::kRefuse) {
      const std::size_t from = row.verdict == Verdict::kAppend ? 1000 : 0;
      EXPECT_EQ(body, vlrtest::MirrorPattern(5000).substr(from));
    }
  }
}

TEST_F(InternetConformanceTest, NoAnswerAtAllFailsTheOpen) {
  EXPECT_EQ(Open("stall/0/x"), 0u);  // the connection closes without a status line
  EXPECT_EQ(Open("http://127.0.0.1:1/x"), 0u);  // nobody listens
  EXPECT_FALSE(net.LastErrorText().empty());
}

// What only the Linux layer does: wininet has its own ways with these.
#ifndef _WIN32

// Wine's wininet takes a chunked body without its last chunk for a whole one.
TEST_F(InternetConformanceTest, ChunkedBodyWithoutItsLastChunkFailsTheRead) {
  std::string body;
  ASSERT_NE(Open("short/300/chunked/size/1000/x"), 0u);
  EXPECT_FALSE(ReadAll(body));
  net.InternetCloseHandle(url_);

  body.clear();
  ASSERT_NE(Open("reset/3000/size/10000/x"), 0u);
  EXPECT_FALSE(ReadAll(body));
  EXPECT_LE(body.size(), 3000u);
  net.InternetCloseHandle(url_);

  body.clear();
  ASSERT_NE(Open("chunked/size/3000/x"), 0u);  // and a whole chunked body is fine
  EXPECT_TRUE(ReadAll(body));
  EXPECT_EQ(body, vlrtest::MirrorPattern(3000));
}

TEST_F(InternetConformanceTest, OnlyHttpAddressesOpen) {
  session_ = net.InternetOpenA("", 0, nullptr, nullptr, 0);
  ASSERT_NE(session_, 0u);
  EXPECT_EQ(net.InternetOpenUrlA(session_, "not a url", "GET", 0, 0, 0), 0u);
  EXPECT_EQ(net.InternetOpenUrlA(session_, "file:///etc/passwd", "GET", 0, 0, 0), 0u);
}

TEST_F(InternetConformanceTest, ProxyComesFromTheEnvironment) {
  // The mirror also answers proxy requests (it serves the path of the absolute URL),
  // so a host that cannot resolve is reached through it.
  std::string proxy = base_.substr(0, base_.size() - 1);
  vlrtest::ScopedEnv http("http_proxy", proxy.c_str());
  vlrtest::ScopedEnv none("no_proxy", "");
  ASSERT_NE(Open("http://mirror.invalid/size/77/x"), 0u);
  std::string body;
  ASSERT_TRUE(ReadAll(body));
  EXPECT_EQ(body, vlrtest::MirrorPattern(77));
}

TEST_F(InternetConformanceTest, HandlesAreCheckedAndSessionsCloseTheirRequests) {
  std::uint32_t n = 5;
  char buffer[16];
  EXPECT_FALSE(net.InternetReadFile(0, buffer, 16, &n));
  EXPECT_EQ(n, 0u);
  EXPECT_FALSE(net.InternetReadFile(987654, buffer, 16, &n));
  EXPECT_FALSE(net.InternetCloseHandle(987654));
  EXPECT_EQ(net.InternetOpenUrlA(987654, (base_ + "size/1/x").c_str(), "GET", 0, 0, 0), 0u);

  ASSERT_NE(Open("size/100/x"), 0u);
  EXPECT_FALSE(net.InternetReadFile(session_, buffer, 16, &n));  // a session is no file
  EXPECT_TRUE(net.InternetCloseHandle(session_));
  EXPECT_FALSE(net.InternetReadFile(url_, buffer, 16, &n));  // closed with its session
  EXPECT_FALSE(net.InternetCloseHandle(url_));
  session_ = url_ = 0;
}

#endif

}  // namespace

namespace {

// What the answers' texts may look like, beyond what the mirror sends.
TEST(HttpResume, ValidatorsAndRangesAreReadStrictly) {
  using platform::IdentityFrom;
  const std::string date = "Sat, 01 Jan 2022 00:00:00 GMT";
  EXPECT_EQ(IdentityFrom("\"a\"", date, "10").validator, "\"a\"");
  EXPECT_EQ(IdentityFrom(" \"a\" ", std::nullopt, "10").validator, "\"a\"");
  EXPECT_EQ(IdentityFrom("W/\"a\"", date, "10").validator, date);
  EXPECT_EQ(IdentityFrom("a", date, "10").validator, date);  // not a quoted tag
  EXPECT_EQ(IdentityFrom("\"a\"\r\nX: y\"", std::nullopt, "10").validator, "");  // a line break
  EXPECT_EQ(IdentityFrom(std::nullopt, std::nullopt, "10").validator, "");
  EXPECT_EQ(IdentityFrom("\"a\"", date, "10").length, 10);
  EXPECT_EQ(IdentityFrom("\"a\"", date, " 12 ").length, 12);
  for (const char* length : {"", "-1", "1e3", "99999999999999999999"}) {
    const platform::FileIdentity file = IdentityFrom("\"a\"", date, std::string(length));
    EXPECT_EQ(file.length, -1) << length;
    EXPECT_EQ(platform::ContinuationHeaders(file, 5), "") << length;  // no length, no Range
  }

  using Verdict = platform::ContinuationVerdict;
  const platform::FileIdentity file = IdentityFrom("\"a\"", date, "5000");
  struct Row {
    bool rangeAsked;
    std::optional<std::uint32_t> status;
    std::optional<std::string> contentRange;
    Verdict verdict;
  } rows[] = {
      {true, 206, "bytes 1000-4999/5000", Verdict::kAppend},
      {true, 206, "BYTES  1000-4999/5000 ", Verdict::kAppend},
      {true, 206, "bytes 1000-4999/*", Verdict::kRefuse},
      {true, 206, "bytes */5000", Verdict::kRefuse},
      {true, 206, "bytes 1000-4999/5000x", Verdict::kRefuse},
      {true, 206, "bytes=1000-4999/5000", Verdict::kRefuse},
      {true, 206, "bytes 999-4999/5000", Verdict::kRefuse},
      {true, 206, std::nullopt, Verdict::kRefuse},  // a multipart answer
      {false, 206, "bytes 1000-4999/5000", Verdict::kRefuse},  // a part never asked for
      {true, 200, std::nullopt, Verdict::kRestart},
      {false, 200, std::nullopt, Verdict::kRestart},
      {true, 416, "bytes */5000", Verdict::kRefuse},
      {true, 404, std::nullopt, Verdict::kRefuse},
      {true, std::nullopt, "bytes 1000-4999/5000", Verdict::kRefuse},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(platform::JudgeContinuation(row.rangeAsked, row.status, row.contentRange,
                                          std::nullopt, 1000, file),
              row.verdict)
        << row.status.value_or(0) << " " << row.contentRange.value_or("-");
  }
  // A 206 that names a tag names the one asked for; a file known by its date has no tag
  // to compare.
  const std::optional<std::string> part = "bytes 1000-4999/5000";
  EXPECT_EQ(platform::JudgeContinuation(true, 206, part, " \"a\" ", 1000, file), Verdict::kAppend);
  EXPECT_EQ(platform::JudgeContinuation(true, 206, part, "\"b\"", 1000, file), Verdict::kRefuse);
  EXPECT_EQ(platform::JudgeContinuation(true, 206, part, "W/\"a\"", 1000, file), Verdict::kRefuse);
  EXPECT_EQ(platform::JudgeContinuation(true, 206, part, "\"b\"", 1000,
                                        IdentityFrom(std::nullopt, date, "5000")),
            Verdict::kAppend);
}

// The one redirect rule of both backends: http or https only, and https stays https,
// for every hop and for the address the answer finally came from.
TEST(HttpPolicy, HttpsNeverLeadsToHttp) {
  struct Row {
    const char* from;
    const char* to;
    bool follow;
  } rows[] = {
      {"http://a/x", "http://b/y", true},    {"http://a/x", "https://b/y", true},
      {"https://a/x", "https://b/y", true},  {"https://a/x", "http://b/y", false},
      {"HTTPS://a/x", "http://b/y", false},  {"https://a/x", "HTTP://b/y", false},
      {"http://a/x", "ftp://b/y", false},    {"https://a/x", "file:///etc/passwd", false},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(platform::MayRedirect(row.from, row.to), row.follow) << row.from << " -> " << row.to;
  }
  EXPECT_FALSE(platform::MayEndAt("https://a/x", "http://a/x"));
  EXPECT_TRUE(platform::MayEndAt("https://a/x", "https://b/y"));
  EXPECT_TRUE(platform::MayEndAt("http://a/x", "https://b/y"));
  EXPECT_TRUE(platform::MayEndAt("http://a/x", "http://b/y"));
}

}  // namespace
