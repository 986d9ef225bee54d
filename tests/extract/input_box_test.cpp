// The Win32 input box: a real modal dialog, answered from inside its own modal loop
// by a thread timer, as a user would answer it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/win32/input_box.h"
#include "platform/window_system.h"

namespace {

struct Seen {
  std::wstring title;
  std::wstring prompt;
  std::wstring editText;
  bool editIsPassword = true;
};

Seen g_seen;
const wchar_t* g_typed = nullptr;  // null: press Cancel
int g_ticks = 0;

std::wstring TextOf(HWND window) {
  wchar_t buffer[512] = {};
  GetWindowTextW(window, buffer, 512);
  return buffer;
}

void CALLBACK Answer(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND box = FindWindowW(platform::win32::kInputBoxClassName, nullptr);
  if (!box) {
    if (++g_ticks > 200) KillTimer(nullptr, timer);  // gives up after ~10 s
    return;
  }
  KillTimer(nullptr, timer);
  g_seen.title = TextOf(box);
  g_seen.prompt = TextOf(GetDlgItem(box, platform::win32::kInputBoxPromptId));
  HWND edit = GetDlgItem(box, platform::win32::kInputBoxEditId);
  g_seen.editText = TextOf(edit);
  g_seen.editIsPassword = (GetWindowLongW(edit, GWL_STYLE) & ES_PASSWORD) != 0;
  if (g_typed) {
    SetWindowTextW(edit, g_typed);
    PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
  } else {
    PostMessageW(GetDlgItem(box, IDCANCEL), BM_CLICK, 0, 0);
  }
}

std::optional<std::wstring> ShowAndAnswer(const wchar_t* typed, const std::wstring& title,
                                          const std::wstring& defaultText) {
  g_seen = {};
  g_typed = typed;
  g_ticks = 0;
  SetTimer(nullptr, 0, 50, Answer);
  return platform::win32::ShowInputBox(nullptr, L"Please Enter The Password!", title,
                                       defaultText);
}

TEST(InputBoxTest, OkReturnsTheTypedTextAndTheBoxShowsPromptAndTitle) {
  std::optional<std::wstring> answer = ShowAndAnswer(L"s3cret t\u00e9xt", L"", L"");
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(*answer, L"s3cret t\u00e9xt");
  EXPECT_EQ(g_seen.title, platform::kProgramTitle);
  EXPECT_EQ(g_seen.prompt, L"Please Enter The Password!");
  EXPECT_EQ(g_seen.editText, L"");
  EXPECT_FALSE(g_seen.editIsPassword);  // shown as typed
}

TEST(InputBoxTest, OkWithNothingTypedReturnsEmptyAndCancelReturnsNothing) {
  std::optional<std::wstring> empty = ShowAndAnswer(L"", L"Own title", L"default");
  ASSERT_TRUE(empty.has_value());
  EXPECT_EQ(*empty, L"");
  EXPECT_EQ(g_seen.title, L"Own title");
  EXPECT_EQ(g_seen.editText, L"default");

  EXPECT_FALSE(ShowAndAnswer(nullptr, L"", L"kept?").has_value());
  EXPECT_EQ(g_seen.editText, L"kept?");
}

}  // namespace
