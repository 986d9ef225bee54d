// The Linux internet layer against the loopback mirror: it must keep wininet's
// contract as the download relies on it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>

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

// Sets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value, 1);
  }
  ~ScopedEnv() {
    if (old_.empty()) {
      unsetenv(name_);
    } else {
      setenv(name_, old_.c_str(), 1);
    }
  }

 private:
  const char* name_;
  std::string old_;
};

class InternetCurlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::optional<std::wstring> site = vlrtest::MirrorSite();
    ASSERT_TRUE(site) << "the loopback mirror is not running (ctest fixture mirror_start)";
    base_ = "http://" + platform::ToUtf8(*site);
  }
  void TearDown() override {
    if (url_) net.InternetCloseHandle(url_);
    if (session_) net.InternetCloseHandle(session_);
  }

  // Opens base + path; the URL handle or 0.
  platform::InternetHandle Open(const std::string& path) {
    if (!session_) session_ = net.InternetOpenA("", 0, nullptr, nullptr, 0);
    EXPECT_NE(session_, 0u);
    url_ = net.InternetOpenUrlA(session_, (base_ + path).c_str(), "GET", 0, 0x80400000u, 0);
    return url_;
  }

  // Reads to the end `ask` bytes at a time; false when a read failed.
  bool ReadAll(std::string& body, std::uint32_t ask = 256) {
    char buffer[4096];
    for (int guard = 0; guard < 1000000; ++guard) {
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

TEST_F(InternetCurlTest, ReadsHandOutAtMostWhatIsAskedAndZeroAtTheEnd) {
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

TEST_F(InternetCurlTest, StatusIsTheFinalAnswersAndRedirectionsAreBounded) {
  auto status = [this] {
    std::uint32_t code = 0, size = sizeof code, index = 0;
    EXPECT_TRUE(net.HttpQueryInfoA(url_, 0x20000013u, &code, &size, &index));
    EXPECT_FALSE(net.HttpQueryInfoA(url_, 19u, &code, &size, &index));  // text: not offered
    return code;
  };
  ASSERT_NE(Open("redirect/2/status/500/x"), 0u);
  EXPECT_EQ(status(), 500u);
  std::string body;
  ASSERT_TRUE(ReadAll(body));
  EXPECT_NE(body.find("500"), std::string::npos);
  net.InternetCloseHandle(url_);

  ASSERT_NE(Open("redirect/10/size/300/x"), 0u);  // ten redirections: followed
  EXPECT_EQ(status(), 200u);
  body.clear();
  ASSERT_TRUE(ReadAll(body));
  EXPECT_EQ(body, vlrtest::MirrorPattern(300));
  net.InternetCloseHandle(url_);

  EXPECT_EQ(Open("redirect/11/size/300/x"), 0u);  // one too many
  auto start = Clock::now();
  EXPECT_EQ(Open("loop/x"), 0u);
  EXPECT_LT(SecondsSince(start), 10.0);
}

TEST_F(InternetCurlTest, BrokenBodiesFailTheRead) {
  std::string body;
  ASSERT_NE(Open("short/100/size/1000/x"), 0u);  // shorter than its Content-Length
  EXPECT_FALSE(ReadAll(body));
  EXPECT_EQ(body, vlrtest::MirrorPattern(100));
  net.InternetCloseHandle(url_);

  body.clear();
  ASSERT_NE(Open("short/300/chunked/size/1000/x"), 0u);  // chunked, no last chunk
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

TEST_F(InternetCurlTest, SilentServerIsStoppedByTheTimeout) {
  ScopedEnv timeout("VLR_INTERNET_TIMEOUT", "1");
  // Headers, then silence: the open returns with the headers, the read times out.
  auto start = Clock::now();
  ASSERT_NE(Open("silent/8/size/100/x"), 0u);
  EXPECT_LT(SecondsSince(start), 1.0);
  std::string body;
  EXPECT_FALSE(ReadAll(body));
  EXPECT_LT(SecondsSince(start), 6.0);
  net.InternetCloseHandle(url_);

  // Not even headers: the open itself fails.
  start = Clock::now();
  EXPECT_EQ(Open("stall/8/x"), 0u);
  EXPECT_LT(SecondsSince(start), 6.0);
}

TEST_F(InternetCurlTest, ClosedPortFailsToOpen) {
  session_ = net.InternetOpenA("", 0, nullptr, nullptr, 0);
  ASSERT_NE(session_, 0u);
  EXPECT_EQ(net.InternetOpenUrlA(session_, "http://127.0.0.1:1/x", "GET", 0, 0, 0), 0u);
  EXPECT_EQ(net.InternetOpenUrlA(session_, "not a url", "GET", 0, 0, 0), 0u);
  EXPECT_EQ(net.InternetOpenUrlA(session_, "file:///etc/passwd", "GET", 0, 0, 0), 0u);
}

TEST_F(InternetCurlTest, ProxyComesFromTheEnvironment) {
  // The mirror also answers proxy requests (it serves the path of the absolute URL),
  // so a host that cannot resolve is reached through it.
  std::string proxy = base_.substr(0, base_.size() - 1);
  ScopedEnv http("http_proxy", proxy.c_str());
  ScopedEnv none("no_proxy", "");
  session_ = net.InternetOpenA("", 0, nullptr, nullptr, 0);
  url_ = net.InternetOpenUrlA(session_, "http://mirror.invalid/size/77/x", "GET", 0, 0, 0);
  ASSERT_NE(url_, 0u);
  std::string body;
  ASSERT_TRUE(ReadAll(body));
  EXPECT_EQ(body, vlrtest::MirrorPattern(77));
}

TEST_F(InternetCurlTest, HandlesAreCheckedAndSessionsCloseTheirRequests) {
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

}  // namespace
