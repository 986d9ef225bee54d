// SpaceToUnderscore = 1: spaces in the names written become '_', in folders too when
// they are recreated; names that clash only after the change refuse the archive.
#include <gtest/gtest.h>

#include "unzip32_harness.h"

namespace uz32test {
namespace {

TEST(Unzip32Spaces, SpacesBecomeUnderscoresInEveryWrittenName) {
  for (int recreate : {0, 1}) {
    SCOPED_TRACE(recreate);
    Sandbox box("spaces");
    const auto before = box.Snapshot();
    Call call;
    call.options.SpaceToUnderscore = 1;
    call.options.RecreateFolders = recreate;
    ASSERT_EQ(call.Go(Fixture("spaces.zip"), box.folder()), UNZIP_OK) << call.calls.printed;
    auto after = box.Snapshot();
    const std::string ab = recreate ? "sub_dir/a_b.txt" : "a_b.txt";
    for (const auto& [file, content] :
         std::map<std::string, std::string>{{"my_file.txt", "mine"}, {ab, "ab"}, {"x__y.txt", "xy"}}) {
      EXPECT_EQ(ReadText(box.target() / fs::path(file)), content) << file;
      EXPECT_EQ(after.erase("target/" + file), 1u) << file;
    }
    if (recreate) {
      EXPECT_EQ(after.erase("target/sub_dir"), 1u);
    }
    EXPECT_EQ(after, before);
    // The procedures still see the stored names.
    ASSERT_EQ(call.calls.messages.size(), 3u);
    EXPECT_EQ(call.calls.messages[0].name, "my file.txt");
    EXPECT_EQ(call.calls.serviced.at(1), "sub dir/a b.txt");
  }
}

TEST(Unzip32Spaces, NamesThatClashAfterTheChangeAreRefused) {
  Sandbox box("clash");
  const auto before = box.Snapshot();
  Call converted;
  converted.options.SpaceToUnderscore = 1;
  EXPECT_EQ(converted.Go(Fixture("spaces_clash.zip"), box.folder()), UNZIP_ERR_FORMAT);
  EXPECT_NE(converted.calls.printed.find("would both be written as a_b.txt"), std::string::npos)
      << converted.calls.printed;
  EXPECT_EQ(box.Snapshot(), before);
  Call asStored;  // without the option the two names are different files
  ASSERT_EQ(asStored.Go(Fixture("spaces_clash.zip"), box.folder()), UNZIP_OK);
  EXPECT_EQ(ReadText(box.target() / "a b.txt"), "spaced");
  EXPECT_EQ(ReadText(box.target() / "a_b.txt"), "plain");
}

}  // namespace
}  // namespace uz32test
