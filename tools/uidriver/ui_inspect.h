// Looking at another process's windows: the updater's form, its controls, and the
// modal boxes it shows. Everything here reads; nothing waits longer than it is told.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace uidriver {

struct ControlInfo {
  HWND window = nullptr;
  int id = 0;
  std::string name;  // the form's name for it ("Command2"), empty when unknown
  std::wstring className;
  std::wstring text;
  bool enabled = false;
  bool visible = false;  // visible on screen: itself and every ancestor
  bool focused = false;
  int checked = -1;  // option buttons: 0 or 1; -1 for other controls
  RECT rect{};       // in the form's client coordinates
  RECT inParent{};   // in its parent's client coordinates
  int parentId = 0;  // 0 = the form itself
};

// The text of a window of another process (WM_GETTEXT, bounded wait); empty when the
// window does not answer in time.
std::wstring WindowText(HWND window);

// Visible top-level windows of class `className` (and, unless empty, title `title`).
std::vector<HWND> TopLevelWindows(const std::wstring& className, const std::wstring& title);

// The window that has the keyboard focus in the thread that owns `window`; null when
// none.
HWND FocusOfThread(HWND window);

// Every control in the form, depth first in z-order (which is tab order).
std::vector<ControlInfo> ListControls(HWND form);

// The control named by `target`: "#<id>", a name from the shared table ("Command2",
// "Option1(1)"), or a caption (compared without '&'). Null when none matches.
HWND FindControl(HWND form, const std::wstring& target);

// Visible top-level windows, of any class, of every process whose program file is
// named `programName` (compared without regard to case).
std::vector<HWND> ProgramWindows(const std::wstring& programName);

// Visible top-level windows of process `pid` with class `className`, but not `except`.
std::vector<HWND> ProcessWindows(DWORD pid, const std::wstring& className, HWND except);

// The caption without the '&' that marks an access key ("&Yes" -> "Yes").
std::wstring WithoutAccessKey(const std::wstring& text);

}  // namespace uidriver
