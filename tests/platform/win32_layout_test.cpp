// The window as created and first shown: its style, client size, the pixel geometry
// of every control at 96 dpi, the control tree, tab order, kinds and captions.
#include <gtest/gtest.h>

#include <vector>

#include "platform/win32/control_ids.h"
#include "win32_form_fixture.h"

namespace {

using vlrtest::ExpectRect;
using vlrtest::Win32FormTest;

class Win32LayoutTest : public Win32FormTest {};

TEST_F(Win32LayoutTest, FixedSizeWindowCentredWithTheClientAreaOfTheDesign) {
  vlr::Form1& f = Start(L"E");
  HWND w = windows.FormWindow();
  ASSERT_NE(w, nullptr);
  ASSERT_EQ(windows.Dpi(), 96) << "the pixel numbers below are those of 96 dpi";

  LONG style = GetWindowLongW(w, GWL_STYLE);
  EXPECT_TRUE(style & WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME) << "the user must not be able to resize it";
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_EQ(GetMenu(w), nullptr);
  EXPECT_TRUE(IsWindowVisible(w));

  RECT client;
  GetClientRect(w, &client);
  ExpectRect(client, 0, 0, 498, 325);
  EXPECT_EQ(windows.ToPixels(f.kClientWidth), 498);

  // Centred on the screen (to the pixel, allowing for an odd difference).
  RECT outer;
  GetWindowRect(w, &outer);
  int screenW = GetSystemMetrics(SM_CXSCREEN), screenH = GetSystemMetrics(SM_CYSCREEN);
  EXPECT_LE(std::abs((outer.left + outer.right) - screenW), 1);
  EXPECT_LE(std::abs((outer.top + outer.bottom) - screenH), 1);

  EXPECT_EQ(Text(w), L"Veloran Update");
  EXPECT_NE(reinterpret_cast<HICON>(SendMessageW(w, WM_GETICON, ICON_BIG, 0)), nullptr);
  EXPECT_NE(reinterpret_cast<HICON>(SendMessageW(w, WM_GETICON, ICON_SMALL, 0)), nullptr);
}

TEST_F(Win32LayoutTest, ControlsInPixelsAt96DpiRelativeToTheirContainer) {
  vlr::Form1& f = Start(L"E");
  ASSERT_EQ(windows.Dpi(), 96);
  // The buttons sit in the client area, Cancel, Previous, Next from the left.
  ExpectRect(InParent(Hwnd(f.Command3)), 216, 296, 81, 25);
  ExpectRect(InParent(Hwnd(f.Command1)), 312, 296, 81, 25);
  ExpectRect(InParent(Hwnd(f.Command2)), 408, 296, 81, 25);
  ExpectRect(InParent(Hwnd(f.Frame1)), 8, 8, 481, 273);
  // Next's right edge lines up with Frame1's.
  EXPECT_EQ(InParent(Hwnd(f.Command2)).right, InParent(Hwnd(f.Frame1)).right);

  // Frame2 and Label1 are placed in Frame1's inner area, the options in Frame2's.
  EXPECT_EQ(GetParent(Hwnd(f.Frame2)), Hwnd(f.Frame1));
  EXPECT_EQ(GetParent(Hwnd(f.Label1)), Hwnd(f.Frame1));
  ExpectRect(InParent(Hwnd(f.Frame2)), 16, 152, 449, 105);
  RECT label = InParent(Hwnd(f.Label1));
  EXPECT_EQ(label.left, 16);
  EXPECT_EQ(label.top, 16);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(GetParent(Hwnd(f.Option1[i])), Hwnd(f.Frame2));
    ExpectRect(InParent(Hwnd(f.Option1[i])), 24, 24 + 24 * i, 209, 17);
  }

  // The inner area lies inside the etched border: what Frame1 holds is drawn within
  // its outer rectangle.
  RECT inner, frame;
  GetClientRect(Hwnd(f.Frame1), &inner);
  GetWindowRect(Hwnd(f.Frame1), &frame);
  EXPECT_GT(inner.right, 0);
  EXPECT_LT(inner.right, frame.right - frame.left);
  EXPECT_LT(inner.bottom, frame.bottom - frame.top);
}

TEST_F(Win32LayoutTest, KindsIdsAndTabOrder) {
  vlr::Form1& f = Start(L"E");
  namespace w32 = platform::win32;
  // Identifiers from the shared table, so a driver can address each control.
  EXPECT_EQ(GetDlgCtrlID(Hwnd(f.Command1)), w32::ControlIdForName("Command1"));
  EXPECT_EQ(GetDlgCtrlID(Hwnd(f.Command2)), 102);
  EXPECT_EQ(GetDlgCtrlID(Hwnd(f.Option1[2])), 112);
  EXPECT_EQ(GetDlgCtrlID(Hwnd(f.Label1)), 120);

  // Push buttons, none the default; radio buttons the model checks; a label that never
  // wraps and shows '&' as it is.
  for (platform::Control* c : {&f.Command1, &f.Command2, &f.Command3}) {
    LONG style = GetWindowLongW(Hwnd(*c), GWL_STYLE);
    EXPECT_EQ(style & BS_TYPEMASK, BS_PUSHBUTTON) << c->Name();
    EXPECT_TRUE(style & WS_TABSTOP) << c->Name();
  }
  for (auto& option : f.Option1) {
    EXPECT_EQ(GetWindowLongW(Hwnd(option), GWL_STYLE) & BS_TYPEMASK, BS_RADIOBUTTON);
    EXPECT_EQ(SendMessageW(Hwnd(option), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  }
  LONG labelStyle = GetWindowLongW(Hwnd(f.Label1), GWL_STYLE);
  EXPECT_EQ(labelStyle & SS_TYPEMASK, SS_LEFTNOWORDWRAP);
  EXPECT_TRUE(labelStyle & SS_NOPREFIX);

  // Frames have no caption.
  EXPECT_EQ(Text(Hwnd(f.Frame1)), L"");
  EXPECT_EQ(Text(Hwnd(f.Frame2)), L"");

  // Siblings in z-order follow the tab indexes: that is the order Tab walks.
  std::vector<HWND> top, inFrame1;
  for (HWND c = GetWindow(windows.FormWindow(), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
    top.push_back(c);
  for (HWND c = GetWindow(Hwnd(f.Frame1), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
    inFrame1.push_back(c);
  EXPECT_EQ(top, (std::vector<HWND>{Hwnd(f.Command1), Hwnd(f.Command2), Hwnd(f.Command3),
                                    Hwnd(f.Frame1)}));
  EXPECT_EQ(inFrame1, (std::vector<HWND>{Hwnd(f.Label1), Hwnd(f.Frame2)}));
}

TEST_F(Win32LayoutTest, StartStateInEnglishAndInFrench) {
  vlr::Form1& en = Start(L"E");
  EXPECT_EQ(Text(Hwnd(en.Label1)),
            L"Please close all instances of\r\nVeloran application on this machine\r\n"
            L"or connected trough a LAN!");
  EXPECT_EQ(Text(Hwnd(en.Command1)), L"< Previous");
  EXPECT_EQ(Text(Hwnd(en.Command2)), L"Next >");
  EXPECT_EQ(Text(Hwnd(en.Command3)), L"Cancel");
  EXPECT_FALSE(IsWindowEnabled(Hwnd(en.Command1)));
  EXPECT_TRUE(IsWindowEnabled(Hwnd(en.Command2)));
  EXPECT_TRUE(IsWindowEnabled(Hwnd(en.Command3)));
  EXPECT_FALSE(IsWindowVisible(Hwnd(en.Frame2)));
  EXPECT_FALSE(IsWindowVisible(Hwnd(en.Option1[0])));
  EXPECT_TRUE(IsWindowVisible(Hwnd(en.Label1)));
  // The first control in tab order that can take the focus: Next.
  EXPECT_EQ(GetFocus(), Hwnd(en.Command2));

  vlrtest::ResetWizardState();
  vlr::Form1& fr = Start(L"f");
  EXPECT_EQ(Text(windows.FormWindow()), L"Mise-à-jour de Veloran");
  EXPECT_EQ(Text(Hwnd(fr.Command1)), L"< Précédent");
  EXPECT_EQ(Text(Hwnd(fr.Command2)), L"Suivant >");
  EXPECT_EQ(Text(Hwnd(fr.Command3)), L"Annuler");
  EXPECT_EQ(Text(Hwnd(fr.Label1)),
            L"Veuillez fermer toutes les instances\r\ndu programme Veloran sur cette machine\r\n"
            L"ou connectées par réseau local!");
  EXPECT_EQ(GetFocus(), Hwnd(fr.Command2));
}

TEST_F(Win32LayoutTest, EmptyCommandLineNeverRealisesAShownWindow) {
  vlr::Form1& f = Start(L"");
  EXPECT_TRUE(f.Ended());
  EXPECT_EQ(system.endCount, 1);
  HWND w = windows.FormWindow();
  EXPECT_TRUE(w == nullptr || !IsWindowVisible(w));
}

}  // namespace
