#include "ui_inspect.h"

#include <string_view>

#include "platform/text.h"
#include "platform/win32/control_ids.h"

namespace uidriver {

namespace {

constexpr UINT kReplyTimeoutMs = 2000;

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  int n = GetClassNameW(window, name, 256);
  return std::wstring(name, n > 0 ? static_cast<size_t>(n) : 0);
}

std::string NameForId(int id) {
  for (const auto& e : platform::win32::kControlIds) {
    if (e.id == id) return std::string(e.name);
  }
  return {};
}

void Collect(HWND form, HWND parent, HWND focus, std::vector<ControlInfo>& out) {
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    ControlInfo info;
    info.window = child;
    info.id = GetDlgCtrlID(child);
    info.name = NameForId(info.id);
    info.className = ClassOf(child);
    info.text = WindowText(child);
    info.enabled = IsWindowEnabled(child) != FALSE;
    info.visible = IsWindowVisible(child) != FALSE;
    info.focused = child == focus;
    LONG style = GetWindowLongW(child, GWL_STYLE);
    LONG type = style & BS_TYPEMASK;
    if (_wcsicmp(info.className.c_str(), L"Button") == 0 &&
        (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON || type == BS_CHECKBOX ||
         type == BS_AUTOCHECKBOX)) {
      DWORD_PTR result = 0;
      if (SendMessageTimeoutW(child, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kReplyTimeoutMs,
                              &result))
        info.checked = result == BST_CHECKED ? 1 : 0;
    }
    GetWindowRect(child, &info.rect);
    info.inParent = info.rect;
    MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&info.rect), 2);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&info.inParent), 2);
    info.parentId = parent == form ? 0 : GetDlgCtrlID(parent);
    out.push_back(info);
    Collect(form, child, focus, out);
  }
}

}  // namespace

std::wstring WindowText(HWND window) {
  wchar_t buffer[4096] = {};
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer),
                           SMTO_ABORTIFHUNG, kReplyTimeoutMs, &copied))
    return {};
  buffer[4095] = 0;
  return buffer;
}

namespace {

struct WindowSearch {
  const std::wstring* className;
  const std::wstring* title;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM param) {
  auto* s = reinterpret_cast<WindowSearch*>(param);
  if (!IsWindowVisible(window)) return TRUE;
  if (!s->className->empty() && ClassOf(window) != *s->className) return TRUE;
  if (!s->title->empty() && WindowText(window) != *s->title) return TRUE;
  s->found.push_back(window);
  return TRUE;
}

struct ProgramSearch {
  const std::wstring* programName;
  std::vector<HWND> found;
};

// The file name of the program that runs process `pid`; empty when it cannot be read.
std::wstring ProgramOf(DWORD pid) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (!process) return {};
  wchar_t path[MAX_PATH * 2] = {};
  DWORD size = MAX_PATH * 2;
  const BOOL ok = QueryFullProcessImageNameW(process, 0, path, &size);
  CloseHandle(process);
  if (!ok) return {};
  const std::wstring full(path, size);
  const std::size_t slash = full.find_last_of(L"\\/");
  return slash == std::wstring::npos ? full : full.substr(slash + 1);
}

BOOL CALLBACK CollectOfProgram(HWND window, LPARAM param) {
  auto* s = reinterpret_cast<ProgramSearch*>(param);
  if (!IsWindowVisible(window)) return TRUE;
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  const std::wstring program = ProgramOf(pid);
  if (CompareStringOrdinal(program.c_str(), -1, s->programName->c_str(), -1, TRUE) == CSTR_EQUAL)
    s->found.push_back(window);
  return TRUE;
}

}  // namespace

std::vector<HWND> ProgramWindows(const std::wstring& programName) {
  ProgramSearch search{&programName, {}};
  EnumWindows(CollectOfProgram, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::vector<HWND> TopLevelWindows(const std::wstring& className, const std::wstring& title) {
  WindowSearch search{&className, &title, {}};
  EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND FocusOfThread(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  DWORD thread = GetWindowThreadProcessId(window, nullptr);
  if (!thread || !GetGUIThreadInfo(thread, &info)) return nullptr;
  return info.hwndFocus;
}

std::vector<ControlInfo> ListControls(HWND form) {
  std::vector<ControlInfo> out;
  Collect(form, form, FocusOfThread(form), out);
  return out;
}

std::wstring WithoutAccessKey(const std::wstring& text) {
  std::wstring out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'&' && i + 1 < text.size()) ++i;
    out += text[i];
  }
  return out;
}

HWND FindControl(HWND form, const std::wstring& target) {
  int id = 0;
  if (target.size() > 1 && target[0] == L'#') {
    id = _wtoi(target.c_str() + 1);
  } else {
    id = platform::win32::ControlIdForName(platform::ToUtf8(target));
  }
  for (const ControlInfo& c : ListControls(form)) {
    if (id != 0 ? c.id == id : WithoutAccessKey(c.text) == WithoutAccessKey(target))
      return c.window;
  }
  return nullptr;
}

std::vector<HWND> ProcessWindows(DWORD pid, const std::wstring& className, HWND except) {
  std::vector<HWND> found;
  for (HWND w : TopLevelWindows(className, L"")) {
    DWORD owner = 0;
    GetWindowThreadProcessId(w, &owner);
    if (owner == pid && w != except) found.push_back(w);
  }
  return found;
}

}  // namespace uidriver
