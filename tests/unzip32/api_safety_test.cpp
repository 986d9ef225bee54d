// Archives built wrong on purpose: hostile names, damaged or inconsistent records,
// unsupported content, every truncation of a small archive. Each call must give the
// expected result and leave the sentinel tree around the folder exactly as it was
// (except, for names that reduce to a safe last component, that one file).
#include <gtest/gtest.h>

#include "unzip32_harness.h"

namespace uz32test {
namespace {

TEST(Unzip32Safety, HostileNamesAreReducedToTheirLastComponentOrRefused) {
  const auto rows = Manifest("names.txt");
  ASSERT_GE(rows.size(), 20u);
  for (const auto& row : rows) {
    SCOPED_TRACE(row[0]);
    Sandbox box("names");
    auto before = box.Snapshot();
    Call call;
    const int32_t rc = call.Go(Fixture(row[0]), box.folder());
    EXPECT_EQ(rc, std::stoi(row[1])) << call.calls.printed;
    auto after = box.Snapshot();
    if (row[2] != "-") {
      EXPECT_EQ(ReadText(box.target() / row[2]), "evil content");
      EXPECT_EQ(ReadText(box.target() / "good.txt"), "good");
      after.erase("target/" + row[2]);
      after.erase("target/good.txt");
    } else {
      EXPECT_NE(call.calls.printed.find("refusing member"), std::string::npos)
          << call.calls.printed;
      EXPECT_TRUE(call.calls.messages.empty());
    }
    EXPECT_EQ(after, before);
  }
}

TEST(Unzip32Safety, DamagedAndUnsupportedArchivesChangeNothing) {
  const auto rows = Manifest("cases.txt");
  ASSERT_GE(rows.size(), 15u);
  for (const auto& row : rows) {
    SCOPED_TRACE(row[0]);
    Sandbox box("cases");
    const auto before = box.Snapshot();
    Call call;
    EXPECT_EQ(call.Go(Fixture(row[0]), box.folder()), std::stoi(row[1])) << call.calls.printed;
    EXPECT_NE(call.calls.printed.find("error: "), std::string::npos);
    EXPECT_TRUE(call.calls.messages.empty());
    EXPECT_EQ(box.Snapshot(), before);
  }
}

TEST(Unzip32Safety, EveryTruncationOfASmallArchiveFailsCleanly) {
  const std::string whole = ReadText(Fixture("small.zip"));
  ASSERT_GT(whole.size(), 100u);
  Sandbox control("truncated_control");
  Call whole_call;
  ASSERT_EQ(whole_call.Go(Fixture("small.zip"), control.folder()), UNZIP_OK);
  Sandbox box("truncated");
  const auto before = box.Snapshot();
  const fs::path cut = box.root().parent_path() / "truncated.zip";
  for (size_t n = 0; n < whole.size(); ++n) {
    WriteText(cut, whole.substr(0, n));
    Call call;
    const int32_t rc = call.Go(cut.string(), box.folder());
    EXPECT_NE(rc, UNZIP_OK) << n;
    EXPECT_TRUE(rc == UNZIP_ERR_NOT_FOUND || rc == UNZIP_ERR_FORMAT ||
                rc == UNZIP_ERR_UNEXPECTED_EOF)
        << n << ": " << rc;
  }
  EXPECT_EQ(box.Snapshot(), before);
}

}  // namespace
}  // namespace uz32test
