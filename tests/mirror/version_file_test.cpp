// The version number taken from the digits of "version.html".
#include <gtest/gtest.h>

#include <optional>
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

namespace {

TEST(PackageDigest, ReadsTheDigestLinesAfterTheFirstEmptyLine) {
  const std::string hex(64, 'a');
  const std::string upper = "9F86D081884C7D659A2FEAA0C55AD015A3BF4F1B2B0B822CD15D6C15B0F00A08";
  const std::string lower = "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08";
  struct Row {
    std::string after;  // what follows "7.5.3\r\n\r\n"
    std::optional<std::string> digest;
  } rows[] = {
      {"<!-- sha256 vlr753.zip " + hex + " -->\r\n", hex},
      {"  \t<!-- sha256 vlr753.zip " + upper + " -->  \r\n", lower},      // blanks, upper case
      {"<!-- sha256 vlr753fr.zip " + hex + " -->\n<!-- sha256 vlr753.zip " + lower + " -->\n",
       lower},                                                               // LF endings
      {"<!-- sha256 vlr753fr.zip " + hex + " -->\r\n", std::nullopt},      // another package
      {"<!--  sha256 vlr753.zip " + hex + " -->\r\n", std::nullopt},       // two blanks
      {"<!-- sha256 vlr753.zip " + hex + " --> x\r\n", std::nullopt},      // more on the line
      {"<!-- sha256 vlr753.zip " + hex.substr(1) + " -->\r\n", std::nullopt},  // 63 digits
      {"<!-- sha256 vlr753.zip " + hex.substr(1) + "g -->\r\n", std::nullopt},  // not hex
      {"<!-- sha256 vlr753.zip " + hex + " -->\r\n<!-- sha256 vlr753.zip " + lower + " -->\r\n",
       std::nullopt},                                                        // two that disagree
      {"<!-- sha256 vlr753.zip " + hex + " -->\r\n<!-- sha256 vlr753.zip " + hex + " -->\r\n",
       hex},                                                                 // two that agree
  };
  for (const Row& row : rows) {
    std::istringstream in("<p>7.5.3</p>\r\n\r\n" + row.after);
    EXPECT_EQ(vlr::VersionDigits(in), "753");
    EXPECT_EQ(vlr::PackageDigest(in, "vlr753.zip"), row.digest) << row.after;
  }
  // Before the first empty line a digest line is only text whose digits count.
  std::istringstream early("<!-- sha256 vlr753.zip " + hex + " -->\r\n");
  EXPECT_EQ(vlr::VersionDigits(early), "753");
  EXPECT_EQ(vlr::PackageDigest(early, "vlr753.zip"), std::nullopt);
  EXPECT_EQ(vlr::DigestLine("vlr753.zip", lower), "<!-- sha256 vlr753.zip " + lower + " -->");
}

}  // namespace
