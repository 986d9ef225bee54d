// OnUnzipMessage: the fixed-width listing, one line per reported member.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "extract/unzip_callbacks.h"
#include "tests/extract/extract_fixture.h"

namespace {

using ListingTest = vlrtest::ExtractTest;

const std::wstring kHeading = std::wstring(L"Filename:") + std::wstring(43, L' ') + L"Size" +
                              std::wstring(5, L' ') + L"Date" + std::wstring(5, L' ') + L"Time" +
                              std::wstring(6, L' ');

void Report(std::string name, std::int32_t size, int month, int day, int year, int hour,
            int minute) {
  vlr::OnUnzipMessage(static_cast<std::uint32_t>(size), 100, 50, static_cast<std::uint32_t>(month),
                      static_cast<std::uint32_t>(day), static_cast<std::uint32_t>(year),
                      static_cast<std::uint32_t>(hour), static_cast<std::uint32_t>(minute), '*',
                      name.data(), const_cast<char*>("Deflate"), 0xDEADBEEFu, 'E');
}

// Line `index` of the listing (0 = heading), without its CR LF.
std::wstring Line(size_t index) {
  size_t start = 0;
  for (size_t i = 0; i < index; ++i) start = vlr::ListingText.find(L"\r\n", start) + 2;
  size_t end = vlr::ListingText.find(L"\r\n", start);
  return vlr::ListingText.substr(start, end - start);
}

// Columns `first` to `last`, counted from 1.
std::wstring Columns(const std::wstring& line, size_t first, size_t last) {
  return line.substr(first - 1, last - first + 1);
}

TEST_F(ListingTest, FirstMemberOfARunGetsTheHeadingThenEveryMemberOneLine) {
  Report("readme.txt", 512, 1, 3, 2004, 9, 5);
  Report("notes.txt", 14, 12, 31, 1999, 14, 30);
  EXPECT_EQ(vlr::ListedCount, 2);
  const std::wstring first = L"readme.txt" + std::wstring(40, L' ') + L"    512" + L"  " +
                             L"01/03/04" + L"  " + L" 9:05" + std::wstring(6, L' ');
  const std::wstring second = L"notes.txt" + std::wstring(41, L' ') + L"     14" + L"  " +
                              L"12/31/99" + L"  " + L"14:30" + std::wstring(6, L' ');
  EXPECT_EQ(vlr::ListingText, kHeading + L"\r\n" + first + L"\r\n" + second + L"\r\n");
  ASSERT_EQ(kHeading.size(), 80u);
  ASSERT_EQ(first.size(), 80u);
}

TEST_F(ListingTest, HeadingWordsStandOverTheirColumns) {
  EXPECT_EQ(Columns(kHeading, 53, 56), L"Size");
  EXPECT_EQ(Columns(kHeading, 62, 65), L"Date");
  EXPECT_EQ(Columns(kHeading, 71, 74), L"Time");
  Report("a", 1, 1, 1, 2001, 1, 1);
  EXPECT_EQ(Line(0), kHeading);
}

TEST_F(ListingTest, SizeIsRightAlignedInSevenColumnsKeepingItsLastSevenCharacters) {
  Report("big", 12345678, 1, 3, 2004, 9, 5);
  Report("exact", 1234567, 1, 3, 2004, 9, 5);
  Report("zero", 0, 1, 3, 2004, 9, 5);
  Report("negative", -5, 1, 3, 2004, 9, 5);
  Report("very negative", -12345678, 1, 3, 2004, 9, 5);
  EXPECT_EQ(Columns(Line(1), 51, 57), L"2345678");
  EXPECT_EQ(Columns(Line(2), 51, 57), L"1234567");
  EXPECT_EQ(Columns(Line(3), 51, 57), L"      0");
  EXPECT_EQ(Columns(Line(4), 51, 57), L"     -5");
  EXPECT_EQ(Columns(Line(5), 51, 57), L"2345678");
  for (size_t i = 1; i <= 5; ++i) {
    EXPECT_EQ(Columns(Line(i), 58, 59), L"  ");
    EXPECT_EQ(Line(i).size(), 80u);
  }
}

TEST_F(ListingTest, DateAndTimeFieldsKeepTheirLastTwoCharacters) {
  Report("a", 1, 1, 3, 2004, 9, 5);
  Report("b", 1, 10, 9, 1980, 0, 0);
  Report("c", 1, 123, 7, 5, 23, 59);
  Report("d", 1, -3, -1, -7, -2, -4);
  Report("e", 1, 1, 1, 2000, -12, 100);
  EXPECT_EQ(Columns(Line(1), 60, 74), L"01/03/04   9:05");
  EXPECT_EQ(Columns(Line(2), 60, 74), L"10/09/80   0:00");
  EXPECT_EQ(Columns(Line(3), 60, 74), L"23/07/05  23:59");
  EXPECT_EQ(Columns(Line(4), 60, 74), L"-3/-1/-7  -2:-4");
  EXPECT_EQ(Columns(Line(5), 60, 74), L"01/01/00  12:00");
}

TEST_F(ListingTest, DateAndTimeArgumentsAreReadAsSixteenBitNumbers) {
  // The upper 16 bits of each 32-bit value are not part of the number.
  vlr::OnUnzipMessage(7, 0, 0, 0x0005000Cu, 0x00010003u, 0xFFFF07D4u, 0xFFFFFFFFu, 0x0003002Du,
                      0, const_cast<char*>("x"), nullptr, 0, 0);
  EXPECT_EQ(Columns(Line(1), 60, 74), L"12/03/04  -1:45");
}

TEST_F(ListingTest, NameShowsItsFirstFiftyCharactersAndIsReadWithinItsBound) {
  std::string sixty;
  for (int i = 0; i < 60; ++i) sixty += static_cast<char>('A' + i % 26);
  Report(sixty, 1, 1, 1, 2001, 1, 1);
  EXPECT_EQ(Columns(Line(1), 1, 50), std::wstring(sixty.begin(), sixty.begin() + 50));
  EXPECT_EQ(Columns(Line(1), 51, 57), L"      1");

  // A name buffer of 256 bytes without a zero byte: nothing past index 255 is read.
  std::vector<char> name(vlr::kNameReadLimit, 'n');
  vlr::OnUnzipMessage(2, 0, 0, 1, 1, 2001, 1, 1, 0, name.data(), nullptr, 0, 0);
  EXPECT_EQ(Columns(Line(2), 1, 50), std::wstring(50, L'n'));

  // No name at all leaves the name field blank.
  vlr::OnUnzipMessage(3, 0, 0, 1, 1, 2001, 1, 1, 0, nullptr, nullptr, 0, 0);
  EXPECT_EQ(Columns(Line(3), 1, 57), std::wstring(50, L' ') + L"      3");
  EXPECT_EQ(vlr::ListedCount, 3);
}

TEST_F(ListingTest, ANewRunReplacesTheListingOfTheLastOne) {
  Report("old", 1, 1, 1, 2001, 1, 1);
  Report("old2", 1, 1, 1, 2001, 1, 1);
  vlr::ListedCount = 0;  // what UnzipArchive does at the start of a run
  Report("new", 2, 2, 2, 2002, 2, 2);
  EXPECT_EQ(vlr::ListingText.find(L"old"), std::wstring::npos);
  EXPECT_EQ(Line(0), kHeading);
  EXPECT_EQ(Columns(Line(1), 1, 3), L"new");
  EXPECT_EQ(vlr::ListingText.size(), 2 * 82u);
}

}  // namespace
