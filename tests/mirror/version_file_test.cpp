// The version number taken from the digits of "version.html".
#include <gtest/gtest.h>

#include <sstream>
#include <streambuf>
#include <string>

#include "mirror/version_file.h"

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
    std::istringstream in(row.content);
    EXPECT_EQ(vlr::VersionDigits(in), row.digits);
  }
}

// A stream of `head` followed by `tail` repeated without end; counts what was taken.
class EndlessText : public std::streambuf {
 public:
  EndlessText(std::string head, char tail) : head_(std::move(head)), block_(4096, tail) {
    setg(head_.data(), head_.data(), head_.data() + head_.size());
  }
  std::size_t taken = 0;

 protected:
  int_type underflow() override {
    taken += static_cast<std::size_t>(egptr() - eback());
    setg(block_.data(), block_.data(), block_.data() + block_.size());
    return traits_type::to_int_type(block_[0]);
  }

 private:
  std::string head_, block_;
};

TEST(VersionDigits, ReadingStopsAtTheFirstEmptyLine) {
  // Whatever follows the empty line is never read, even when it has no end.
  EndlessText text("7.5.3\r\n\r\n", '9');
  std::istream in(&text);
  EXPECT_EQ(vlr::VersionDigits(in), "753");
  EXPECT_EQ(text.taken, 0u);
}

TEST(VersionLines, OverlongLinesAreCutAndTheirRestIsTheNextLine) {
  const std::size_t cap = vlr::VersionLines::kMaxLine;
  std::string exact(cap, 'a'), longer = std::string(cap, 'b') + std::string(cap + 5, 'c');
  std::istringstream in(exact + "\r\n" + longer + "\r" + "\r\n" + "1");
  vlr::VersionLines lines(in);
  std::string line;
  ASSERT_TRUE(lines.Next(line));
  EXPECT_EQ(line, exact);  // a line of the full length is one line
  ASSERT_TRUE(lines.Next(line));
  EXPECT_EQ(line, std::string(cap, 'b'));
  ASSERT_TRUE(lines.Next(line));
  EXPECT_EQ(line, std::string(cap, 'c'));
  ASSERT_TRUE(lines.Next(line));
  EXPECT_EQ(line, "ccccc");
  ASSERT_TRUE(lines.Next(line));
  EXPECT_EQ(line, "");
  ASSERT_TRUE(lines.Next(line));
  EXPECT_EQ(line, "1");
  EXPECT_FALSE(lines.Next(line));
  EXPECT_EQ(line, "1");

  // A line without end holds no more than the cap, and its digits all count.
  EndlessText endless("", '7');
  std::istream stream(&endless);
  vlr::VersionLines pieces(stream);
  for (int i = 0; i < 40; ++i) {  // 2.5 MiB of one line
    ASSERT_TRUE(pieces.Next(line));
    ASSERT_EQ(line.size(), cap);
  }
  EXPECT_LE(line.capacity(), 2 * cap);
}

TEST(VersionDigits, MissingFileGivesNoDigits) {
  EXPECT_EQ(vlr::ReadVersionDigits(L"no such folder/version.html"), "");
}

}  // namespace
