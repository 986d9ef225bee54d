// ExtractOnlyNewer and FreshenOnly: members compared by modification time with the
// files already in the folder. The member's time is learnt from a first extraction, so
// the test does not depend on the time zone its DOS stamp is read in.
#include <gtest/gtest.h>

#include <chrono>

#include "unzip32_harness.h"

namespace uz32test {
namespace {

using namespace std::chrono_literals;

// The time the library gives times.zip's members (they all share one stamp).
fs::file_time_type MemberTime() {
  Sandbox scratch("member_time");
  Call call;
  EXPECT_EQ(call.Go(Fixture("times.zip"), scratch.folder()), UNZIP_OK);
  return fs::last_write_time(scratch.target() / "fresh.txt");
}

// A sandbox holding older.txt (an hour older than the members), newer.txt (an hour
// newer) and same.txt (one second older: within the DOS stamp's two-second steps, so
// as new as the member).
struct TimedBox {
  explicit TimedBox(fs::file_time_type member) : box("timed") {
    const std::map<std::string, fs::file_time_type::duration> offsets = {
        {"older.txt", -1h}, {"newer.txt", 1h}, {"same.txt", -1s}};
    for (const auto& [name, offset] : offsets) {
      WriteText(box.target() / name, "old " + name);
      fs::last_write_time(box.target() / name, member + offset);
    }
  }
  std::string Content(const std::string& name) const {
    return fs::exists(box.target() / name) ? ReadText(box.target() / name) : "<none>";
  }
  Sandbox box;
};

TEST(Unzip32Times, NewerOnlyWritesNewAndNewerMembers) {
  const auto member = MemberTime();
  TimedBox timed(member);
  Call call;
  call.options.ExtractOnlyNewer = 1;
  ASSERT_EQ(call.Go(Fixture("times.zip"), timed.box.folder()), UNZIP_OK) << call.calls.printed;
  EXPECT_EQ(timed.Content("older.txt"), "new older.txt");
  EXPECT_EQ(timed.Content("newer.txt"), "old newer.txt");
  EXPECT_EQ(timed.Content("same.txt"), "old same.txt");
  EXPECT_EQ(timed.Content("fresh.txt"), "new fresh.txt");
  EXPECT_EQ(fs::last_write_time(timed.box.target() / "newer.txt"), member + 1h);
  EXPECT_NE(call.calls.printed.find("skipping: newer.txt (the existing file is as new or newer)"),
            std::string::npos)
      << call.calls.printed;
  EXPECT_EQ(call.calls.messages.size(), 2u);
  EXPECT_EQ(call.calls.serviced.size(), 4u);
}

TEST(Unzip32Times, FreshenOnlyReplacesOlderFilesAndCreatesNone) {
  const auto member = MemberTime();
  for (int alsoNewer : {0, 1}) {  // both set: freshen
    SCOPED_TRACE(alsoNewer);
    TimedBox timed(member);
    Call call;
    call.options.FreshenOnly = 1;
    call.options.ExtractOnlyNewer = alsoNewer;
    ASSERT_EQ(call.Go(Fixture("times.zip"), timed.box.folder()), UNZIP_OK) << call.calls.printed;
    EXPECT_EQ(timed.Content("older.txt"), "new older.txt");
    EXPECT_EQ(timed.Content("newer.txt"), "old newer.txt");
    EXPECT_EQ(timed.Content("same.txt"), "old same.txt");
    EXPECT_EQ(timed.Content("fresh.txt"), "<none>");
    EXPECT_NE(call.calls.printed.find("skipping: fresh.txt (no existing file to freshen)"),
              std::string::npos)
        << call.calls.printed;
    ASSERT_EQ(call.calls.messages.size(), 1u);
    EXPECT_EQ(call.calls.messages[0].name, "older.txt");
  }
}

TEST(Unzip32Times, TheOverwritePolicyStillDecidesForNewerMembers) {
  const auto member = MemberTime();
  TimedBox timed(member);
  Call call;
  call.options.ExtractOnlyNewer = 1;
  call.options.OverwriteAll = 0;  // ask; the answer (100) keeps the file
  ASSERT_EQ(call.Go(Fixture("times.zip"), timed.box.folder()), UNZIP_OK) << call.calls.printed;
  ASSERT_EQ(call.calls.replaceAsked.size(), 1u);  // only for the one that is older
  EXPECT_NE(call.calls.replaceAsked[0].find("older.txt"), std::string::npos);
  EXPECT_EQ(timed.Content("older.txt"), "old older.txt");
  EXPECT_EQ(timed.Content("fresh.txt"), "new fresh.txt");
}

TEST(Unzip32Times, OtherValuesAndFieldsAreStillRefused) {
  using Field = int32_t UnzipOptionsRecord::*;
  const std::vector<std::pair<Field, int32_t>> refused = {
      {&UnzipOptionsRecord::ExtractOnlyNewer, -1}, {&UnzipOptionsRecord::FreshenOnly, 3},
      {&UnzipOptionsRecord::RecreateFolders, -1},  {&UnzipOptionsRecord::SpaceToUnderscore, 9},
      {&UnzipOptionsRecord::IgnoreCase, -2},       {&UnzipOptionsRecord::RestoreAcl, 1},
      {&UnzipOptionsRecord::TranslateLineEnds, 2}, {&UnzipOptionsRecord::ZipInfoListing, 2},
      {&UnzipOptionsRecord::WriteStdout, 2},
  };
  Sandbox box("refused");
  const auto before = box.Snapshot();
  for (const auto& [field, value] : refused) {
    Call call;
    call.options.RecreateFolders = 1;
    call.options.FreshenOnly = 1;
    call.options.*field = value;
    EXPECT_EQ(call.Go(Fixture("times.zip"), box.folder()), UNZIP_ERR_BAD_OPTIONS) << value;
    EXPECT_TRUE(call.calls.serviced.empty());
  }
  EXPECT_EQ(box.Snapshot(), before);
}

}  // namespace
}  // namespace uz32test
