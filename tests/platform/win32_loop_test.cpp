// The message loop and the ways it ends: the user closing the window, Cancel; the
// event pump; the message box; a window that is gone.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "win32_form_fixture.h"
#include "wizard/shared_state.h"

namespace {

using vlrtest::Win32FormTest;

class Win32LoopTest : public Win32FormTest {};

TEST_F(Win32LoopTest, ClosingTheWindowEndsTheLoopWithoutStartingVeloran) {
  for (int step = 0; step < 2; ++step) {
    SCOPED_TRACE(step);
    vlrtest::ResetWizardState();
    vlr::Form1& f = Start(L"E host.test/x");
    HWND w = windows.FormWindow();
    if (step == 1) PostMessageW(Hwnd(f.Command2), BM_CLICK, 0, 0);
    PostMessageW(w, WM_CLOSE, 0, 0);
    windows.RunMessageLoop();  // returns once the window is gone
    EXPECT_EQ(vlr::CurrentStep, step);
    EXPECT_TRUE(windows.CloseRequested());
    EXPECT_FALSE(windows.WindowAlive());
    EXPECT_FALSE(IsWindow(w));
    EXPECT_TRUE(system.started.empty());
    EXPECT_EQ(system.endCount, 0);
    EXPECT_FALSE(f.Ended());

    // The model may still change; no dead window is touched.
    f.Label1.SetCaption(L"after the end");
    f.Command2.SetEnabled(false);
    EXPECT_EQ(windows.WindowOf(f.Label1), nullptr);
    EXPECT_FALSE(windows.Focus(f.Command3));
  }
}

TEST_F(Win32LoopTest, CancelStartsVeloranFromTheFolderAndEnds) {
  const struct {
    const wchar_t* arguments;
    const wchar_t* program;
  } rows[] = {{L"E", L"C:\\Veloran\\vlrmain.exe"}, {L"F", L"C:\\Veloran\\vlrmainfr.exe"}};
  for (const auto& row : rows) {
    vlrtest::ResetWizardState();
    system.started.clear();
    system.endCount = 0;
    vlr::Form1& f = Start(row.arguments);
    PostMessageW(Hwnd(f.Command3), BM_CLICK, 0, 0);
    windows.RunMessageLoop();
    ASSERT_EQ(system.started.size(), 1u);
    EXPECT_EQ(system.started[0], row.program);
    EXPECT_EQ(system.endCount, 1);
    EXPECT_FALSE(windows.WindowAlive());
    EXPECT_FALSE(windows.CloseRequested());
  }
}

TEST_F(Win32LoopTest, PumpRunsPendingClicksAndReturns) {
  vlr::Form1& f = Start(L"E");
  PostMessageW(Hwnd(f.Command2), BM_CLICK, 0, 0);
  windows.PumpEvents();
  EXPECT_EQ(vlr::CurrentStep, 1);
  MSG msg;
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_NOYIELD) &&
               msg.message != WM_PAINT && msg.message != WM_TIMER)
      << "the pump returned with input still queued";

  // A close that arrives during the pump ends the window; the loop afterwards ends
  // at once instead of waiting.
  PostMessageW(windows.FormWindow(), WM_CLOSE, 0, 0);
  windows.PumpEvents();
  EXPECT_FALSE(windows.WindowAlive());
  windows.RunMessageLoop();
  EXPECT_TRUE(system.started.empty());
}

TEST_F(Win32LoopTest, MessageBoxIsOwnedByTheFormAndReturnsTheAnswer) {
  Start(L"E");
  HWND formWindow = windows.FormWindow();
  std::atomic<HWND> owner{nullptr};
  std::atomic<bool> titled{false};
  // The box is modal: another thread finds it and answers No.
  std::thread answerer([&] {
    for (int i = 0; i < 200; ++i) {
      HWND box = FindWindowW(L"#32770", nullptr);
      if (box && GetWindowThreadProcessId(box, nullptr) ==
                     GetWindowThreadProcessId(formWindow, nullptr)) {
        wchar_t title[64] = {};
        GetWindowTextW(box, title, 64);
        titled = std::wstring(title) == platform::kProgramTitle;
        owner = GetWindow(box, GW_OWNER);
        PostMessageW(GetDlgItem(box, IDNO), BM_CLICK, 0, 0);
        return;
      }
      Sleep(25);
    }
  });
  int answer = windows.ShowMessageBox(L"Replace it?", L"", platform::kMbYesNoCancel);
  answerer.join();
  EXPECT_EQ(answer, platform::kIdNo);
  EXPECT_EQ(owner.load(), formWindow);
  EXPECT_TRUE(titled.load()) << "an empty title shows the program's title";
}

TEST_F(Win32LoopTest, DestroyThenCreateAgainStartsFresh) {
  vlr::Form1& first = Start(L"E");
  HWND old = windows.FormWindow();
  windows.Destroy();
  EXPECT_FALSE(IsWindow(old));
  EXPECT_FALSE(windows.WindowAlive());
  first.Command1.SetCaption(L"ignored");  // the model only

  vlrtest::ResetWizardState();
  vlr::Form1& second = Start(L"F");
  EXPECT_TRUE(windows.WindowAlive());
  EXPECT_FALSE(windows.CloseRequested());
  EXPECT_EQ(Text(Hwnd(second.Command1)), L"< Précédent");
  // The previous window's quit request does not end this loop at once.
  PostMessageW(Hwnd(second.Command2), BM_CLICK, 0, 0);
  PostMessageW(windows.FormWindow(), WM_CLOSE, 0, 0);
  windows.RunMessageLoop();
  EXPECT_EQ(vlr::CurrentStep, 1);
}

}  // namespace
