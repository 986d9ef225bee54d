// GetTempFolder over a scripted system and over the real one.
#include <gtest/gtest.h>

#include <string>

#include "download/temp_folder.h"
#include "platform/services.h"
#include "platform/system.h"
#include "platform/text.h"
#include "tests/support/fake_system.h"

namespace {

TEST(TempFolderTest, GivesWhatTheSystemWritesAndAsksEveryTime) {
  vlrtest::FakeSystem system;
  platform::Use<platform::System> use(system);
  system.tempPath = "C:\\Users\\ann\\AppData\\Local\\Temp\\";
  EXPECT_EQ(vlr::GetTempFolder(), L"C:\\Users\\ann\\AppData\\Local\\Temp\\");
  EXPECT_EQ(vlr::GetTempFolder(), vlr::GetTempFolder());
  system.tempPath = "D:\\T\\";  // the setting changed: nothing is cached
  EXPECT_EQ(vlr::GetTempFolder(), L"D:\\T\\");
}

TEST(TempFolderTest, EmptyOnFailureAndWhenThePathDoesNotFit) {
  vlrtest::FakeSystem system;
  platform::Use<platform::System> use(system);
  system.tempPath = "";
  EXPECT_EQ(vlr::GetTempFolder(), L"");

  system.tempPath = "C:\\" + std::string(507, 'x') + "\\";  // 511 characters: fits
  EXPECT_EQ(vlr::GetTempFolder().size(), 511u);
  system.tempPath = "C:\\" + std::string(508, 'x') + "\\";  // 512: needs 513 with the zero
  EXPECT_EQ(vlr::GetTempFolder(), L"");
  system.tempPath = "C:\\" + std::string(700, 'x') + "\\";
  EXPECT_EQ(vlr::GetTempFolder(), L"");
}

TEST(TempFolderTest, RealFolderEndsWithTheSeparator) {
  std::wstring folder = vlr::GetTempFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), platform::kPathSeparator);
  EXPECT_EQ(folder, vlr::GetTempFolder());
  std::error_code ec;
  EXPECT_TRUE(std::filesystem::is_directory(platform::ToPath(folder), ec));
}

}  // namespace
