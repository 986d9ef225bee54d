// The record of the installed version in Veloran's folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "platform/text.h"
#include "tests/support/test_paths.h"
#include "wizard/installed_version.h"

namespace {

TEST(InstalledVersion, ReadsThreeDigitsAndRecordsInOneStep) {
  const std::filesystem::path dir =
      std::filesystem::path(vlrtest::BinDir()) / "installed-version-scratch";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::wstring folder = platform::FromUtf8(dir.string()) + platform::kPathSeparator;
  const std::filesystem::path record = dir / vlr::kInstalledVersionFile;

  EXPECT_EQ(vlr::ReadInstalledVersion(folder), std::nullopt);  // no record
  struct Row {
    std::string text;
    std::optional<std::string> digits;
  } rows[] = {
      {"753\r\n", "753"}, {"753", "753"},          {"007\n", "007"},   {"75\r\n", std::nullopt},
      {"7534\r\n", std::nullopt}, {"7.5.3\r\n", std::nullopt}, {"", std::nullopt},
      {"753\r\nmore", std::nullopt}, {" 753\r\n", std::nullopt},
  };
  for (const Row& row : rows) {
    std::ofstream(record, std::ios::binary | std::ios::trunc) << row.text;
    EXPECT_EQ(vlr::ReadInstalledVersion(folder), row.digits) << row.text;
  }

  EXPECT_TRUE(vlr::RecordInstalledVersion(folder, "754"));
  EXPECT_EQ(vlr::ReadInstalledVersion(folder), "754");
  EXPECT_TRUE(vlr::RecordInstalledVersion(folder, "752"));  // replaces the record
  EXPECT_EQ(vlr::ReadInstalledVersion(folder), "752");
  int entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir)) ++entries;
  EXPECT_EQ(entries, 1);  // no temporary file left beside it
  std::filesystem::remove_all(dir);
}

}  // namespace
