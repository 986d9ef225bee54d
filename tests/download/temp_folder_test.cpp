// GetTempFolder over a scripted system and over the real one.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>

#include "download/local_files.h"
#endif

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "download/temp_folder.h"
#include "platform/run_folders.h"
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

#ifndef _WIN32
// The Linux build keeps its downloads in a private folder of the run, and never
// writes through a file or link that was put at a download's name.
TEST(TempFolderTest, LinuxDownloadsGoToAPrivateFolderAndFollowNoLink) {
  const std::filesystem::path scratch =
      std::filesystem::temp_directory_path() / ("vlr-tmpdir-" + std::to_string(getpid()));
  std::filesystem::remove_all(scratch);
  std::filesystem::create_directories(scratch);
  setenv("TMPDIR", scratch.c_str(), 1);  // before this process asks for the first time

  const std::string folder = platform::ToUtf8(vlr::GetTempFolder());
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(platform::ToUtf8(vlr::GetTempFolder()), folder);  // one folder for the run
  const std::filesystem::path own = std::filesystem::path(folder).parent_path();
  EXPECT_EQ(own.parent_path(), scratch);
  struct stat st {};
  ASSERT_EQ(lstat(own.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(st.st_uid, geteuid());

  // A link planted at the name: creating the file fails, the link's target is untouched.
  const std::filesystem::path victim = scratch / "victim";
  { std::ofstream(victim) << "precious"; }
  const std::wstring local = platform::FromUtf8(folder + "version.html");
  std::filesystem::create_symlink(victim, platform::ToPath(local));
  vlr::LocalFiles& files = platform::DefaultService<vlr::LocalFiles>();
  EXPECT_EQ(files.Create(local), nullptr);
  std::ifstream in(victim);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "precious");
  // Once the name is free, the file is made and written.
  files.Delete(local);
  std::unique_ptr<platform::PlainFile> file = files.Create(local);
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(file->Write("abc", 3));
  EXPECT_TRUE(file->Close());
  EXPECT_EQ(std::filesystem::file_size(platform::ToPath(local)), 3u);
  std::filesystem::remove_all(scratch);
}
#endif

// A run's folder outlives a run that was killed; the next run removes it, and every
// other folder of an ended run, but not a running one's, not one that no run has taken
// yet (its run may be about to), and nothing that is not a run folder.
TEST(TempFolderTest, FoldersOfEndedRunsGoWithTheNextRun) {
  namespace fs = std::filesystem;
  const fs::path base = fs::current_path() / "vlr-run-folders-test";
  fs::remove_all(base);
  const fs::path own = base / "vlrupdate-own", live = base / "vlrupdate-live",
                 ended = base / "vlrupdate-ended", fresh = base / "vlrupdate-fresh",
                 old = base / "vlrupdate-old", other = base / "other";
  for (const fs::path& folder : {own, live, ended, fresh, old, other}) {
    fs::create_directories(folder);
    std::ofstream(folder / "vlr753.zip") << "part";
  }
#ifndef _WIN32
  fs::last_write_time(old, fs::file_time_type::clock::now() - std::chrono::hours(48));
#else
  // MinGW's library cannot set a folder's time: the old folder is never taken, but new.
  fs::remove_all(old);
#endif
  auto ownLock = platform::HoldRunFolder(own);
  auto liveLock = platform::HoldRunFolder(live);
  ASSERT_TRUE(ownLock && liveLock);
  ASSERT_TRUE(platform::HoldRunFolder(ended));  // taken, then let go as by a killed run
  platform::RemoveStaleRunFolders(base, own);
  for (const fs::path& stays : {own, live, fresh, other})
    EXPECT_TRUE(fs::exists(stays / "vlr753.zip")) << stays;
  EXPECT_FALSE(fs::exists(ended));
  EXPECT_FALSE(fs::exists(old));

  liveLock.reset();
  platform::RemoveStaleRunFolders(base, own);
  EXPECT_FALSE(fs::exists(live));
  EXPECT_TRUE(fs::exists(own / "vlr753.zip"));
  ownLock.reset();
  fs::remove_all(base);
}

}  // namespace
