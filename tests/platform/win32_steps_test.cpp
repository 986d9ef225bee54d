// Moving through the steps with real clicks and keys: captions, enabled and visible
// states, the option buttons' checks and where the keyboard focus goes.
#include <gtest/gtest.h>

#include "win32_form_fixture.h"
#include "wizard/shared_state.h"

namespace {

using vlrtest::Win32FormTest;

class Win32StepsTest : public Win32FormTest {};

TEST_F(Win32StepsTest, NextPreviousAndAMirrorClick) {
  vlr::Form1& f = Start(L"E");
  Click(f.Command2);
  EXPECT_EQ(vlr::CurrentStep, 1);
  EXPECT_EQ(Text(Hwnd(f.Label1)), L"Select a site below\r\nfor your update:");
  EXPECT_TRUE(IsWindowVisible(Hwnd(f.Frame2)));
  EXPECT_TRUE(IsWindowVisible(Hwnd(f.Option1[0])));
  EXPECT_TRUE(IsWindowVisible(Hwnd(f.Option1[1])));
  EXPECT_FALSE(IsWindowVisible(Hwnd(f.Option1[2]))) << "English offers two mirrors";
  EXPECT_TRUE(IsWindowEnabled(Hwnd(f.Command1)));
  EXPECT_FALSE(IsWindowEnabled(Hwnd(f.Command2)));
  // Next lost the focus when it was disabled; it went on in tab order, not nowhere.
  EXPECT_NE(GetFocus(), Hwnd(f.Command2));
  EXPECT_EQ(GetFocus(), Hwnd(f.Command3));

  Click(f.Option1[1]);
  EXPECT_EQ(SendMessageW(Hwnd(f.Option1[1]), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(SendMessageW(Hwnd(f.Option1[0]), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_EQ(vlr::SiteAddress, f.Option1[1].Caption());
  EXPECT_TRUE(IsWindowEnabled(Hwnd(f.Command2)));
  EXPECT_EQ(Text(Hwnd(f.Label1)), L"Select a site below\r\nfor your update:")
      << "a mirror click leaves the message alone";

  Click(f.Option1[0]);
  EXPECT_EQ(SendMessageW(Hwnd(f.Option1[0]), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(SendMessageW(Hwnd(f.Option1[1]), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_TRUE(f.Option1[0].Value());
  EXPECT_FALSE(f.Option1[1].Value());
  EXPECT_EQ(vlr::SiteAddress, f.Option1[0].Caption());

  Click(f.Command1);
  EXPECT_EQ(vlr::CurrentStep, 0);
  EXPECT_FALSE(IsWindowVisible(Hwnd(f.Frame2)));
  EXPECT_FALSE(IsWindowEnabled(Hwnd(f.Command1)));
  EXPECT_EQ(GetFocus(), Hwnd(f.Command2));

  Click(f.Command2);
  EXPECT_EQ(Text(Hwnd(f.Label1)),
            L"Use\r\n" + f.Option1[0].Caption() + L"\r\n or select a site below\r\nfor your update:");
  EXPECT_EQ(GetFocus(), Hwnd(f.Command2));
  EXPECT_TRUE(system.started.empty());
}

TEST_F(Win32StepsTest, FrenchStepOneShowsThreeMirrorsWithAccents) {
  vlr::Form1& f = Start(L"F miroir.test/maj");
  Click(f.Command2);
  EXPECT_EQ(Text(Hwnd(f.Label1)),
            L"Utiliser\r\nmiroir.test/maj\r\n ou sélectionner un site ci-après\r\n"
            L"pour votre mise-à-jour:");
  for (auto& option : f.Option1) EXPECT_TRUE(IsWindowVisible(Hwnd(option)));
  EXPECT_TRUE(IsWindowEnabled(Hwnd(f.Command2)));
  EXPECT_EQ(GetFocus(), Hwnd(f.Command2));
  Click(f.Option1[2]);
  EXPECT_EQ(vlr::SiteAddress, f.Option1[2].Caption());
}

TEST_F(Win32StepsTest, ClicksOnDisabledOrHiddenControlsDoNothing) {
  vlr::Form1& f = Start(L"E");
  Click(f.Command1);  // disabled in step 0
  EXPECT_EQ(vlr::CurrentStep, 0);
  Click(f.Option1[0]);  // hidden with Frame2
  EXPECT_EQ(vlr::SiteAddress, L"");
  EXPECT_FALSE(f.Option1[0].Value());
  EXPECT_EQ(SendMessageW(Hwnd(f.Option1[0]), BM_GETCHECK, 0, 0), BST_UNCHECKED);
}

TEST_F(Win32StepsTest, FocusOnlyWhereTheControlCanTakeIt) {
  system.argumentText = L"E";
  form = std::make_unique<vlr::Form1>();
  windows.Create(*form);
  form->Form_Load();
  EXPECT_FALSE(windows.Focus(form->Command2)) << "not shown yet";
  windows.Show();
  EXPECT_TRUE(windows.Focus(form->Command3));
  EXPECT_EQ(GetFocus(), Hwnd(form->Command3));
  EXPECT_FALSE(windows.Focus(form->Command1)) << "disabled";
  EXPECT_FALSE(windows.Focus(form->Option1[0])) << "inside the hidden frame";
  EXPECT_FALSE(windows.Focus(form->Label1));
  EXPECT_FALSE(windows.Focus(form->Frame1));
  EXPECT_EQ(GetFocus(), Hwnd(form->Command3)) << "a refused focus changes nothing";
}

TEST_F(Win32StepsTest, KeyboardTabSpaceEnterAndNoDefaultOrCancelButton) {
  vlr::Form1& f = Start(L"E host.test/x");
  ASSERT_EQ(GetFocus(), Hwnd(f.Command2));
  PressKey(VK_TAB);
  EXPECT_EQ(GetFocus(), Hwnd(f.Command3));
  PressKey(VK_TAB);  // past the frames (nothing to focus in step 0), Previous disabled
  EXPECT_EQ(GetFocus(), Hwnd(f.Command2));

  // Escape is tied to no button.
  PressKey(VK_ESCAPE);
  EXPECT_EQ(vlr::CurrentStep, 0);
  EXPECT_TRUE(system.started.empty());
  EXPECT_TRUE(windows.WindowAlive());

  // Space presses the focused button; Tab then reaches the mirror options too.
  PressKey(VK_SPACE);
  EXPECT_EQ(vlr::CurrentStep, 1);
  ASSERT_EQ(GetFocus(), Hwnd(f.Command2));
  PressKey(VK_TAB);
  EXPECT_EQ(GetFocus(), Hwnd(f.Command3));
  PressKey(VK_TAB);
  EXPECT_EQ(GetFocus(), Hwnd(f.Option1[0])) << "no mirror selected: the first one";

  // On an option button, Enter finds no default button to press.
  PressKey(VK_RETURN);
  EXPECT_EQ(vlr::CurrentStep, 1);
  EXPECT_TRUE(system.started.empty());
  EXPECT_TRUE(windows.WindowAlive());

  // Space selects the focused option; Tab from Cancel then lands on the selected one.
  PressKey(VK_DOWN);
  EXPECT_EQ(GetFocus(), Hwnd(f.Option1[1]));
  PressKey(VK_SPACE);
  EXPECT_TRUE(f.Option1[1].Value());
  EXPECT_EQ(vlr::SiteAddress, f.Option1[1].Caption());
  ASSERT_TRUE(windows.Focus(f.Command3));
  PressKey(VK_TAB);
  EXPECT_EQ(GetFocus(), Hwnd(f.Option1[1]));

  // On a push button it presses that button, however the focus got there.
  ASSERT_TRUE(windows.Focus(f.Command1));
  PressKey(VK_RETURN);
  EXPECT_EQ(vlr::CurrentStep, 0);
  ASSERT_EQ(GetFocus(), Hwnd(f.Command2));
  PressKey(VK_RETURN);
  EXPECT_EQ(vlr::CurrentStep, 1);
  EXPECT_TRUE(system.started.empty());
}

}  // namespace
