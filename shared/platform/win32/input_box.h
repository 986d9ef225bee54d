// The modal input box. Windows has no stock one, so this is a small dialog built in
// memory: the prompt at the top left, OK and Cancel on the right, the edit field
// along the bottom.
//
// For a UI driver: the dialog's window class is kInputBoxClassName, its title the
// title asked for (the program's title when none). The prompt is the static control
// kInputBoxPromptId, the edit field kInputBoxEditId; OK and Cancel are IDOK (1) and
// IDCANCEL (2). Set the edit's text (WM_SETTEXT) and click OK (BM_CLICK), or click
// Cancel / close the dialog.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <utility>

namespace platform::win32 {

inline constexpr wchar_t kInputBoxClassName[] = L"VeloranInputBox";
inline constexpr int kInputBoxPromptId = 1101;
inline constexpr int kInputBoxEditId = 1102;
// The password field of the credentials box (the user name is kInputBoxEditId).
inline constexpr int kInputBoxPasswordId = 1103;

// Shows the box modally over `owner` (may be null) with `prompt`, `title` (empty:
// the program's title) and the edit field holding `defaultText`, all selected. The
// typed text is shown as typed. Returns the edit field's text when OK is pressed
// (which may be empty); nullopt when the box is cancelled or closed, or cannot be
// shown at all.
std::optional<std::wstring> ShowInputBox(HWND owner, const std::wstring& prompt,
                                         const std::wstring& title,
                                         const std::wstring& defaultText);

// The same box with a second field, for a password (typed hidden), under the first,
// for a user name: the two texts when OK is pressed; nullopt when cancelled, closed or
// not shown.
std::optional<std::pair<std::wstring, std::wstring>> ShowCredentialsBox(
    HWND owner, const std::wstring& prompt, const std::wstring& title);

}  // namespace platform::win32
