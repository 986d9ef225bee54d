// The version number taken from the digits of "version.html".
#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <streambuf>
#include <string>

#include "mirror/expiry_near_miss.h"
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

}  // namespace

namespace {

TEST(VersionTrailer, ReadsTheDigestLinesAfterTheFirstEmptyLine) {
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
    EXPECT_EQ(vlr::ReadVersionTrailer(in, "vlr753.zip").digest, row.digest) << row.after;
  }
  // Before the first empty line a digest line is only text whose digits count.
  std::istringstream early("<!-- sha256 vlr753.zip " + hex + " -->\r\n");
  EXPECT_EQ(vlr::VersionDigits(early), "753");
  EXPECT_EQ(vlr::ReadVersionTrailer(early, "vlr753.zip").digest, std::nullopt);
  EXPECT_EQ(vlr::DigestLine("vlr753.zip", lower), "<!-- sha256 vlr753.zip " + lower + " -->");
}

}  // namespace

namespace {

TEST(UtcDate, ReadsOnlyTheExactFormOfARealDate) {
  struct Row {
    std::string text;
    std::optional<vlr::UtcDay> day;
  } rows[] = {
      {"1970-01-01", 0},
      {"1969-12-31", -1},
      {"2027-01-07", 20825},
      {"2024-02-29", 19782},          // a leap year
      {"2000-02-29", 11016},          // divisible by 400: a leap year
      {"1600-02-29", -135081},
      {"2100-03-01", 47541},
      {"9999-12-31", 2932896},
      {"2023-02-29", std::nullopt},   // not a leap year
      {"2100-02-29", std::nullopt},   // divisible by 100 only: not one either
      {"2027-04-31", std::nullopt},   // April has 30 days
      {"2027-13-01", std::nullopt},
      {"2027-00-10", std::nullopt},
      {"2027-01-00", std::nullopt},
      {"2027-1-07", std::nullopt},
      {"27-01-07", std::nullopt},
      {"2027/01/07", std::nullopt},
      {"2027-01-07 ", std::nullopt},
      {"+027-01-07", std::nullopt},
      {"2027-01-0x", std::nullopt},
      {"", std::nullopt},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(vlr::ParseUtcDate(row.text), row.day) << row.text;
    if (row.day) {
      EXPECT_EQ(vlr::UtcDateText(*row.day), row.text);
    }
  }
  EXPECT_EQ(vlr::UtcDateText(vlr::UtcDay{2932897}), "out of range");
  // The day a moment falls on, rounded down on both sides of 1970.
  EXPECT_EQ(vlr::UtcDayOf(0), 0);
  EXPECT_EQ(vlr::UtcDayOf(86399), 0);
  EXPECT_EQ(vlr::UtcDayOf(86400), 1);
  EXPECT_EQ(vlr::UtcDayOf(-1), -1);
  EXPECT_EQ(vlr::UtcDayOf(-86400), -1);
  EXPECT_EQ(vlr::UtcDayOf(-86401), -2);
  EXPECT_EQ(vlr::UtcDayOf(1799928000), 20832);  // 2027-01-14 12:00:00
}

TEST(VersionExpiry, ReadsTheExpiryLineAfterTheFirstEmptyLine) {
  const std::string digest = "<!-- sha256 vlr753.zip " + std::string(64, 'a') + " -->\r\n";
  const vlr::UtcDay jan7 = 20825;
  struct Row {
    std::string after;  // what follows "7.5.3\r\n\r\n" and a digest line
    std::optional<vlr::UtcDay> expires;
  } rows[] = {
      {"", std::nullopt},
      {"<!-- expires 2027-01-07 -->\r\n", jan7},
      {"<!-- expires 2027-01-07 -->", jan7},                   // the last line, unended
      {" \t<!-- expires 2027-01-07 -->  \n", jan7},            // blanks, LF ending
      {"<!-- expires 2027-01-09 -->\r\n<!-- expires 2027-01-07 -->\r\n", jan7},  // the earlier
      {"<!-- expires 2027-02-30 -->\r\n", std::nullopt},       // no such day
      {"<!-- expires 2027-1-7 -->\r\n", std::nullopt},
      {"<!-- expires 2027-01-07T00:00 -->\r\n", std::nullopt},
      {"<!--  expires 2027-01-07 -->\r\n", std::nullopt},      // two blanks
      {"<!-- EXPIRES 2027-01-07 -->\r\n", std::nullopt},
      {"<!-- expires 2027-01-07 --> x\r\n", std::nullopt},     // more on the line
      {"<!-- expires 2027-01-07 -->-->\r\n", std::nullopt},
      // A malformed line is no line at all, beside a good one.
      {"<!-- expires 2026-02-30 -->\r\n<!-- expires 2027-01-07 -->\r\n", jan7},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.after));
    std::istringstream in("<p>7.5.3</p>\r\n\r\n" + digest + row.after);
    EXPECT_EQ(vlr::VersionDigits(in), "753");
    const vlr::VersionTrailer trailer = vlr::ReadVersionTrailer(in, "vlr753.zip");
    EXPECT_EQ(trailer.expires, row.expires);
    EXPECT_EQ(trailer.digest, std::string(64, 'a'));  // the digest reading is unchanged
  }
  // Before the first empty line the line is text whose digits count (2027-01-07 reads
  // 107), and it sets no expiry.
  std::istringstream early("<!-- expires 2027-01-07 -->\r\n\r\n" + digest);
  EXPECT_EQ(vlr::VersionDigits(early), "107");
  EXPECT_EQ(vlr::ReadVersionTrailer(early, "").expires, std::nullopt);
  EXPECT_EQ(vlr::ExpiryLine(jan7), "<!-- expires 2027-01-07 -->");
}

TEST(VersionExpiry, AVersionFileIsGoodThroughItsLastDay) {
  const vlr::UtcDay jan7 = 20825;
  struct Row {
    vlr::UtcDay today;
    bool expired;
  } rows[] = {{jan7 - 400, false}, {jan7 - 1, false}, {jan7, false},
              {jan7 + 1, true},    {jan7 + 2, true},  {jan7 + 4000, true}};
  for (const Row& row : rows) {
    EXPECT_EQ(vlr::HasExpired(jan7, row.today), row.expired) << vlr::UtcDateText(row.today);
  }
  EXPECT_EQ(vlr::ExpiredText(jan7, jan7 + 2), "version file expired on 2027-01-07 (today 2027-01-09)");
}

}  // namespace

// What check warns about: a line meant as the expiry line that the updater ignores.
TEST(VersionExpiry, NearMissesAreNamedWithTheirLineAndReason) {
  const std::string page =
      "<p>7.5.3</p>\r\n"
      "<!-- expires 2027-01-07 -->\r\n"             // 2: before the empty line
      "\r\n"
      "<!-- expires 2027-01-07 -->\r\n"             // 4: good
      "<!-- EXPIRES 2027-01-07 -->\r\n"             // 5
      "<!--  expires 2027-01-07 -->\r\n"            // 6: two blanks
      "<!-- expires 2027-02-29 -->\r\n"             // 7: no such day in 2027
      "<!-- sha256 vlr753.zip " + std::string(64, 'a') + " -->\r\n"
      "<!-- expires 2028-02-29 -->\r\n";            // 9: good, a leap year
  std::istringstream in(page);
  const std::vector<vlr::NearMissExpiry> found = vlr::NearMissExpiryLines(in);
  std::vector<std::size_t> numbers;
  for (const vlr::NearMissExpiry& miss : found) numbers.push_back(miss.lineNumber);
  EXPECT_EQ(numbers, (std::vector<std::size_t>{2, 5, 6, 7}));
  ASSERT_EQ(found.size(), 4u);
  EXPECT_EQ(found[0].line, "<!-- expires 2027-01-07 -->");
  EXPECT_NE(found[0].why.find("before the first empty line"), std::string::npos);
  EXPECT_NE(found[1].why.find("not exactly <!-- expires YYYY-MM-DD -->"), std::string::npos);
  std::istringstream clean("7.5.3\r\n\r\n<!-- expires 2027-01-07 -->\r\n");
  EXPECT_TRUE(vlr::NearMissExpiryLines(clean).empty());
}
