// Label1: its fixed-pitch font, its size that follows the text, and the clipping of
// lines too long for Frame1.
#include <gtest/gtest.h>

#include <string>

#include "platform/win32/win32_handles.h"
#include "win32_form_fixture.h"

namespace {

using vlrtest::Win32FormTest;

class Win32LabelTest : public Win32FormTest {
 protected:
  struct Cell {
    int width = 0;
    int height = 0;
  };

  // Extent of `text` (one line) and the line height in the label's own font.
  Cell Measure(const std::wstring& text) {
    HWND label = Hwnd(form->Label1);
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0));
    platform::win32::WindowDc dc(label);
    platform::win32::SelectedObject selected(dc.get(), font);
    SIZE size{};
    GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &size);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc.get(), &metrics);
    return {size.cx, metrics.tmHeight};
  }
};

TEST_F(Win32LabelTest, FixedsysNinePointRegularAnsiAndFixedPitch) {
  vlr::Form1& f = Start(L"E");
  HFONT font = reinterpret_cast<HFONT>(SendMessageW(Hwnd(f.Label1), WM_GETFONT, 0, 0));
  ASSERT_NE(font, nullptr);
  LOGFONTW lf{};
  ASSERT_TRUE(GetObjectW(font, sizeof lf, &lf));
  EXPECT_STREQ(lf.lfFaceName, L"Fixedsys");
  EXPECT_EQ(lf.lfHeight, -MulDiv(9, windows.Dpi(), 72));
  EXPECT_EQ(lf.lfWeight, FW_NORMAL);
  EXPECT_EQ(lf.lfCharSet, ANSI_CHARSET);
  EXPECT_FALSE(lf.lfItalic || lf.lfUnderline || lf.lfStrikeOut);
  // Whatever face the system picks, it is fixed-pitch: all columns align.
  EXPECT_EQ(Measure(L"iiiiii").width, Measure(L"WWWWWW").width);
  EXPECT_GT(Measure(L"W").width, 0);

  // The other controls use the system's message font, not the label's.
  HFONT buttonFont = reinterpret_cast<HFONT>(SendMessageW(Hwnd(f.Command2), WM_GETFONT, 0, 0));
  EXPECT_NE(buttonFont, nullptr);
  EXPECT_NE(buttonFont, font);
}

TEST_F(Win32LabelTest, NewLabelHasItsDesignedSizeOfOneCharacterCell) {
  form = std::make_unique<vlr::Form1>();
  windows.Create(*form);
  ASSERT_EQ(windows.Dpi(), 96);
  vlrtest::ExpectRect(InParent(Hwnd(form->Label1)), 16, 16, 8, 15);
  EXPECT_EQ(form->Label1.Geometry().width, 120);
  EXPECT_EQ(form->Label1.Geometry().height, 225);
}

TEST_F(Win32LabelTest, SizeFollowsTheLongestLineAndTheLineCount) {
  vlr::Form1& f = Start(L"E");
  const Cell cell = Measure(L"x");
  ASSERT_GT(cell.width, 0);

  struct Row {
    std::wstring text;
    int columns;
    int lines;
  };
  const Row rows[] = {
      {L"ab\r\nabcdef\r\nabc", 6, 3},
      {L"one line", 8, 1},
      {L"", 0, 1},
      {L"a\r\n\r\n\r\nb", 1, 4},
      {L"trailing\r\n", 8, 2},
      {L"\u00e9\u00e0\u00e7", 3, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(platform::ToUtf8(row.text));
    f.Label1.SetCaption(row.text);
    RECT r = InParent(Hwnd(f.Label1));
    EXPECT_EQ(r.left, 16);
    EXPECT_EQ(r.top, 16);
    EXPECT_EQ(r.right - r.left, row.columns * cell.width);
    EXPECT_EQ(r.bottom - r.top, row.lines * cell.height);
    // The size goes back into the model, in twips; the corner stays at (240, 240).
    const platform::Twips& g = f.Label1.Geometry();
    EXPECT_EQ(g.left, 240);
    EXPECT_EQ(g.top, 240);
    EXPECT_EQ(g.width, windows.ToTwips(row.columns * cell.width));
    EXPECT_EQ(g.height, windows.ToTwips(row.lines * cell.height));
  }
}

TEST_F(Win32LabelTest, LongLinesAreCutAtFrame1sInnerEdgeNotWrapped) {
  vlr::Form1& f = Start(L"E");
  const Cell cell = Measure(L"x");
  std::wstring longLine(200, L'M');
  f.Label1.SetCaption(longLine + L"\r\nshort");
  windows.PumpEvents();

  HWND label = Hwnd(f.Label1);
  RECT r = InParent(label);
  RECT inner;
  GetClientRect(Hwnd(f.Frame1), &inner);
  // Not wrapped: still two lines high, as wide as the long line.
  EXPECT_EQ(r.bottom - r.top, 2 * cell.height);
  EXPECT_EQ(r.right - r.left, 200 * cell.width);
  EXPECT_GT(r.right, inner.right);
  // What can be drawn of it ends at the inner edge of Frame1.
  platform::win32::WindowDc dc(label);
  RECT visible;
  ASSERT_NE(GetClipBox(dc.get(), &visible), ERROR);
  EXPECT_EQ(r.left + visible.right, inner.right);
  EXPECT_EQ(visible.left, 0);
  EXPECT_EQ(visible.bottom, 2 * cell.height);
}

TEST_F(Win32LabelTest, NineLinesFitAboveTheMirrorFrame) {
  vlr::Form1& f = Start(L"E");
  f.Label1.SetCaption(L"1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n9");
  RECT label = InParent(Hwnd(f.Label1));
  RECT frame2 = InParent(Hwnd(f.Frame2));
  EXPECT_LE(label.bottom, frame2.top);
}

}  // namespace
