// UnzipArchive against the real extraction library beside the test program (the
// test program's folder is its updater's folder): a small package unpacked into a
// folder, with the listing and the printed text collected.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "extract/unzip_callbacks.h"
#include "extract/unzip_driver.h"
#include "platform/headless/headless_window_system.h"
#include "platform/services.h"
#include "platform/text.h"
#include "tests/extract/extract_fixture.h"
#include "tests/support/test_paths.h"

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Values() {
  std::string v;
  for (int i = 0; i < 512; ++i) v += static_cast<char>((i * 7 + 3) % 256);
  return v;
}

class RealLibraryTest : public ::testing::Test {
 protected:
  RealLibraryTest() {
    vlrtest::ResetExtractState();
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    target = platform::FromAnsi(vlrtest::BinDir()) + platform::kPathSeparator +
             L"extract-work" + platform::kPathSeparator + platform::FromAnsi(info->name());
    fs::remove_all(platform::ToPath(target));
    fs::create_directories(platform::ToPath(target));
    package = platform::FromAnsi(vlrtest::HostPath(VLR_FIXTURE_DIR "/sample.zip"));
  }
  ~RealLibraryTest() override { vlrtest::ResetExtractState(); }

  fs::path In(const std::string& name) const { return platform::ToPath(target) / name; }
  std::wstring Folder() const { return target + platform::kPathSeparator; }

  platform::HeadlessWindowSystem windows;
  platform::Use<platform::WindowSystem> useWindows{windows};
  std::wstring target;
  std::wstring package;
};

TEST_F(RealLibraryTest, PackageIsUnpackedFlatIntoTheFolderWithItsListing) {
  ASSERT_TRUE(vlr::UnzipArchive(package, Folder())) << platform::ToUtf8(vlr::PrintText);
  EXPECT_EQ(ReadFile(In("readme.txt")), "Veloran update sample\r\nSecond line\r\n");
  EXPECT_EQ(ReadFile(In("values.bin")), Values());  // stored folder not recreated
  EXPECT_EQ(ReadFile(In("notes.txt")), "stored member\n");
  EXPECT_FALSE(fs::exists(In("data")));

  EXPECT_EQ(vlr::ListedCount, 3);
  ASSERT_EQ(vlr::ListingText.size(), 4 * 82u) << platform::ToUtf8(vlr::ListingText);
  EXPECT_EQ(vlr::ListingText.substr(0, 9), L"Filename:");
  const std::wstring line = vlr::ListingText.substr(82, 80);
  EXPECT_EQ(line.substr(0, 10), L"readme.txt");
  EXPECT_EQ(line.substr(50, 7), L"     36");
  EXPECT_EQ(line.substr(59, 15), L"01/03/04   9:05");
  EXPECT_NE(vlr::ListingText.find(L"values.bin"), std::wstring::npos);
  EXPECT_NE(vlr::ListingText.find(L"    512  01/03/04   9:05"), std::wstring::npos);
  EXPECT_NE(vlr::PrintText.find(L"readme.txt"), std::wstring::npos)
      << platform::ToUtf8(vlr::PrintText);
  EXPECT_TRUE(windows.messageBoxes.empty());
  EXPECT_TRUE(windows.inputBoxes.empty());
}

TEST_F(RealLibraryTest, ASecondRunReplacesExistingFilesWithoutAsking) {
  ASSERT_TRUE(vlr::UnzipArchive(package, Folder()));
  { std::ofstream(In("readme.txt"), std::ios::binary) << "changed by the user"; }
  ASSERT_TRUE(vlr::UnzipArchive(package, Folder())) << platform::ToUtf8(vlr::PrintText);
  EXPECT_EQ(ReadFile(In("readme.txt")), "Veloran update sample\r\nSecond line\r\n");
  EXPECT_EQ(vlr::ListedCount, 3);
  EXPECT_EQ(vlr::ListingText.size(), 4 * 82u);
  EXPECT_TRUE(windows.messageBoxes.empty());
}

TEST_F(RealLibraryTest, AMissingPackageGivesFalse) {
  EXPECT_FALSE(vlr::UnzipArchive(package + L".missing", Folder()));
  EXPECT_TRUE(fs::is_empty(platform::ToPath(target)));
}

}  // namespace
