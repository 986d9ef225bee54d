// The version number taken from the digits of "version.html".
#include <gtest/gtest.h>

#include "wizard/version_file.h"

namespace {

TEST(VersionDigits, TakesTheLastThreeDigitsBeforeTheFirstEmptyLine) {
  struct Row {
    std::string content;
    std::string digits;
  };
  const Row rows[] = {
      {"7.5.3", "753"},
      {"7.5.3\r\n", "753"},
      {"Version 1.2.3.4\r\n", "234"},
      // The 1 of each heading tag counts.
      {"<h1>7.5.3</h1>\r\n", "531"},
      {"2.0.4\r\n\r\n9.9.9\r\n", "204"},
      // A lone CR ends a line too.
      {"2.0.4\r\r9.9.9", "204"},
      {"1\r2\r3\r4", "234"},
      // LF alone ends no line: one long line, no empty line to stop at.
      {"2.0.4\n\n9.9.9\n", "999"},
      {"7.5", "75"},
      {"", ""},
      {"\r\n7.5.3\r\n", ""},
      {"abc\r\n", ""},
      {"<html>\r\n<body>v 8.1.0</body>\r\n", "810"},
      // Digits of other scripts are not ASCII digits.
      {"\xEF\xBC\x97.\xC2\xB9.3\r\n", "3"},
      {"4\r\n5\r\n6\r\n", "456"},
      {"12\r\n", "12"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.content));
    EXPECT_EQ(vlr::VersionDigits(row.content), row.digits);
  }
}

TEST(VersionDigits, MissingFileGivesNoDigits) {
  EXPECT_EQ(vlr::ReadVersionDigits(L"no such folder/version.html"), "");
}

}  // namespace
