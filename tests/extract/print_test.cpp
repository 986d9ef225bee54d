// OnUnzipPrint and OnUnzipService: the library's printed text, kept piece by piece.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "extract/unzip_callbacks.h"
#include "platform/text.h"
#include "tests/extract/extract_fixture.h"

namespace {

using PrintTest = vlrtest::ExtractTest;

std::int32_t Print(std::string piece, std::int32_t length) {
  return vlr::OnUnzipPrint(piece.data(), length);
}
std::int32_t Print(std::string piece) {
  return Print(piece, static_cast<std::int32_t>(piece.size()));
}

TEST_F(PrintTest, PiecesAreAppendedAndALeadingLineFeedBecomesOneLineBreak) {
  EXPECT_EQ(Print("Archive:  vlr753.zip"), 0);
  EXPECT_EQ(Print("\n  inflating: readme.txt"), 0);  // leading LF: the rest is dropped
  EXPECT_EQ(Print("  inflating: notes.txt\n"), 0);   // trailing LF: unchanged
  EXPECT_EQ(Print("a\nb"), 0);                       // LF inside: unchanged
  EXPECT_EQ(Print("\n"), 0);
  EXPECT_EQ(vlr::PrintText, L"Archive:  vlr753.zip\r\n  inflating: notes.txt\na\nb\r\n");
}

TEST_F(PrintTest, LengthZeroOrLessOrNoBufferAppendsNothing) {
  vlr::PrintText = L"kept";
  EXPECT_EQ(Print("text", 0), 0);
  EXPECT_EQ(Print("text", -1), 0);
  EXPECT_EQ(vlr::OnUnzipPrint(nullptr, 10), 0);
  EXPECT_EQ(vlr::PrintText, L"kept");
}

TEST_F(PrintTest, ReadingStopsAtTheLengthAndAtTheFirstZeroByte) {
  Print("abcdef", 3);
  Print(std::string("xy\0z", 4), 4);
  EXPECT_EQ(vlr::PrintText, L"abcxy");
}

TEST_F(PrintTest, APieceWithoutZeroByteIsCutAtTheBufferBound) {
  // Exactly the bound, no zero byte, and a length claiming far more: nothing past
  // the last index may be read.
  std::vector<char> buffer(vlr::kLargeBufferSize, 'x');
  EXPECT_EQ(vlr::OnUnzipPrint(buffer.data(), 1 << 30), 0);
  EXPECT_EQ(vlr::PrintText.size(), vlr::kLargeBufferSize);
  EXPECT_EQ(vlr::PrintText.find_first_not_of(L'x'), std::wstring::npos);
}

TEST_F(PrintTest, BytesAreReadAsSystemCodePageText) {
  const std::wstring text = L"d\u00e9j\u00e0 vu";
  Print(platform::ToAnsi(text));
  EXPECT_EQ(vlr::PrintText, text);
}

TEST_F(PrintTest, ServiceAlwaysLetsTheExtractionGoOn) {
  EXPECT_EQ(vlr::OnUnzipService("readme.txt", 0), 0);
  EXPECT_EQ(vlr::OnUnzipService(nullptr, 12345), 0);
  EXPECT_TRUE(vlr::PrintText.empty());
}

}  // namespace
