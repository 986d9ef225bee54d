// A held package cannot be swapped between its check and its extraction, while the
// extraction library can still open it to read.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "platform/plain_file.h"
#include "platform/text.h"
#include "tests/support/test_paths.h"

namespace {

TEST(HeldFile, NoWriterRenameOrDeleteWhileHeldButReadersMay) {
  const std::filesystem::path dir = std::filesystem::path(vlrtest::BinDir()) / "held-file-scratch";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::wstring package = (dir / "vlr753.zip").wstring();
  const std::wstring other = (dir / "other.zip").wstring();
  std::ofstream(dir / "vlr753.zip", std::ios::binary) << "checked bytes";
  std::ofstream(dir / "other.zip", std::ios::binary) << "unsigned bytes";

  {
    std::unique_ptr<platform::PlainFile> held = platform::HoldFile(package);
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(CreateFileW(package.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_FALSE(MoveFileExW(other.c_str(), package.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_FALSE(DeleteFileW(package.c_str()));
    EXPECT_FALSE(MoveFileW(package.c_str(), (dir / "aside.zip").wstring().c_str()));
    // The extraction library's own open: read access, sharing read.
    HANDLE reader = CreateFileW(package.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(reader, INVALID_HANDLE_VALUE);
    if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader);
    char text[32] = {};
    std::size_t got = 0;
    ASSERT_TRUE(held->Read(text, sizeof text, got));
    EXPECT_EQ(std::string(text, got), "checked bytes");
  }
  // Let go: the file can be deleted again.
  EXPECT_TRUE(DeleteFileW(package.c_str()));
  std::filesystem::remove_all(dir);
}

}  // namespace
