// The real wizard form on the real Win32 window system, with a fake System so that
// nothing is started or ended for real, and the module state as in a fresh process.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

#include "platform/services.h"
#include "platform/win32/win32_window_system.h"
#include "tests/support/fake_system.h"
#include "tests/support/wizard_fixture.h"
#include "wizard/form1.h"

namespace vlrtest {

class Win32FormTest : public ::testing::Test {
 protected:
  Win32FormTest() { ResetWizardState(); }
  ~Win32FormTest() override {
    windows.Destroy();
    form.reset();
    ResetWizardState();
  }

  // Creates the form, runs start-up with `arguments` and shows the window unless
  // start-up ended the program.
  vlr::Form1& Start(const std::wstring& arguments) {
    system.argumentText = arguments;
    windows.Destroy();
    form = std::make_unique<vlr::Form1>();
    windows.Create(*form);
    form->Form_Load();
    if (!form->Ended()) windows.Show();
    windows.PumpEvents();
    return *form;
  }

  HWND Hwnd(const platform::Control& c) const { return windows.WindowOf(c); }

  static std::wstring Text(HWND w) {
    wchar_t buffer[1024] = {};
    LRESULT n = SendMessageW(w, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer));
    return std::wstring(buffer, static_cast<size_t>(n));
  }

  // A synchronous click, as the user's mouse would make it.
  void Click(const platform::Control& c) {
    SendMessageW(Hwnd(c), BM_CLICK, 0, 0);
    windows.PumpEvents();
  }

  // A key pressed while the focus is where it is, through the message loop.
  void PressKey(WPARAM key) {
    HWND target = GetFocus() ? GetFocus() : windows.FormWindow();
    PostMessageW(target, WM_KEYDOWN, key, 1);
    if (key == VK_SPACE) PostMessageW(target, WM_CHAR, L' ', 1);
    PostMessageW(target, WM_KEYUP, key, 1 | (1u << 30) | (1u << 31));
    windows.PumpEvents();
  }

  // The rectangle of `w` in the client coordinates of its parent.
  static RECT InParent(HWND w) {
    RECT r;
    GetWindowRect(w, &r);
    MapWindowPoints(nullptr, GetParent(w), reinterpret_cast<POINT*>(&r), 2);
    return r;
  }

  FakeSystem system;
  platform::Win32WindowSystem windows{GetModuleHandleW(nullptr)};
  platform::Use<platform::System> useSystem{system};
  platform::Use<platform::WindowSystem> useWindows{windows};
  std::unique_ptr<vlr::Form1> form;
};

// Expects `r` to be the rectangle (left, top, width, height).
inline void ExpectRect(const RECT& r, int left, int top, int width, int height) {
  EXPECT_EQ(r.left, left);
  EXPECT_EQ(r.top, top);
  EXPECT_EQ(r.right - r.left, width);
  EXPECT_EQ(r.bottom - r.top, height);
}

}  // namespace vlrtest
