// uidriver: drives the updater's real window from another process, for end-to-end
// tests under Wine.
//
//   uidriver.exe COMMAND [ARG...]   runs one command
//   uidriver.exe serve              reads commands from standard input, one a line
//                                   (arguments separated by tabs), until "quit"
//
// Every command answers one line in UTF-8: "ok" or "ok <json>" on success,
// "error <text>" otherwise (and the single-command form then exits with 1).
//
// Commands (times in milliseconds; every wait is bounded by one):
//   find [TIMEOUT [TITLE]]    wait for the updater's window; {"hwnd","pid","title"}
//   count                     number of the updater's windows on screen
//   shown-by PROGRAM          number of windows on screen, of any kind, of the
//                             processes running PROGRAM ("vlrupdate.exe")
//   list                      the form's controls: id, name, class, text, enabled,
//                             visible, focused, checked, rect (client px), parent
//   state TARGET              one control, as in list
//   click TARGET              post BM_CLICK to a button or option of the form
//   key tab|space|enter|escape   post the key to the focused control
//   close                     post WM_CLOSE to the form
//   message-box [TIMEOUT]     wait for a message box of the updater's process;
//                             {"title","text","buttons"}
//   answer BUTTON [TIMEOUT]   click Yes/No/Cancel/OK (or any caption) in that box
//   input-box [TIMEOUT]       wait for the input box; {"title","prompt","text"}
//   type-ok TEXT [TIMEOUT]    put TEXT into the input box's field and press OK
//   input-cancel [TIMEOUT]    press Cancel in the input box
//   type-credentials USER PASSWORD [TIMEOUT]
//                             fill the credentials box's two fields and press OK
//   wait-gone [TIMEOUT]       wait until the window is gone and its process ended
//   quit                      (serve) end
//
// TARGET: "#<id>", a control's name ("Command2", "Option1(0)") or its caption.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/text.h"
#include "platform/win32/control_ids.h"
#include "platform/win32/input_box.h"
#include "platform/win32/win32_handles.h"
#include "ui_inspect.h"

namespace {

using uidriver::ControlInfo;

constexpr DWORD kDefaultTimeoutMs = 10000;
constexpr DWORD kPollMs = 50;

std::string Json(const std::wstring& text) {
  std::string utf8 = platform::ToUtf8(text), out = "\"";
  for (unsigned char c : utf8) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          wsprintfA(buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string Json(const std::string& text) { return Json(platform::FromUtf8(text)); }

std::string Rect(const RECT& r) {
  return "[" + std::to_string(r.left) + "," + std::to_string(r.top) + "," +
         std::to_string(r.right - r.left) + "," + std::to_string(r.bottom - r.top) + "]";
}

std::string Json(const ControlInfo& c) {
  return "{\"id\":" + std::to_string(c.id) + ",\"name\":" + Json(c.name) +
         ",\"class\":" + Json(c.className) + ",\"text\":" + Json(c.text) +
         ",\"enabled\":" + (c.enabled ? "true" : "false") +
         ",\"visible\":" + (c.visible ? "true" : "false") +
         ",\"focused\":" + (c.focused ? "true" : "false") +
         ",\"checked\":" + std::to_string(c.checked) + ",\"rect\":" + Rect(c.rect) +
         ",\"in_parent\":" + Rect(c.inParent) + ",\"parent\":" + std::to_string(c.parentId) +
         "}";
}

DWORD Timeout(const std::vector<std::wstring>& args, size_t at) {
  return args.size() > at ? static_cast<DWORD>(_wtoi(args[at].c_str())) : kDefaultTimeoutMs;
}

// Polls `found` until it returns a window or `timeoutMs` has passed.
template <class Finder>
HWND WaitFor(DWORD timeoutMs, Finder found) {
  DWORD start = GetTickCount();
  for (;;) {
    if (HWND w = found()) return w;
    if (GetTickCount() - start >= timeoutMs) return nullptr;
    Sleep(kPollMs);
  }
}

class Driver {
 public:
  Driver() = default;
  Driver(const Driver&) = delete;
  Driver& operator=(const Driver&) = delete;

  // Runs one command; the reply line without its line break.
  std::string Run(const std::vector<std::wstring>& args) {
    if (args.empty()) return "error no command";
    const std::wstring& c = args[0];
    if (c == L"find") return Find(args);
    if (c == L"count") {
      return "ok " + std::to_string(
                         uidriver::TopLevelWindows(platform::win32::kFormClassName, L"").size());
    }
    if (c == L"shown-by") {
      if (args.size() < 2) return "error shown-by needs a program name";
      return "ok " + std::to_string(uidriver::ProgramWindows(args[1]).size());
    }
    if (c == L"wait-gone") return WaitGone(Timeout(args, 1));
    if (!Form()) return "error no updater window";
    if (c == L"list") {
      std::string out = "ok [";
      bool first = true;
      for (const ControlInfo& info : uidriver::ListControls(form_)) {
        out += (first ? "" : ",") + Json(info);
        first = false;
      }
      return out + "]";
    }
    if (c == L"state" && args.size() > 1) {
      HWND w = uidriver::FindControl(form_, args[1]);
      for (const ControlInfo& info : uidriver::ListControls(form_)) {
        if (info.window == w) return "ok " + Json(info);
      }
      return "error no control " + platform::ToUtf8(args[1]);
    }
    if (c == L"click" && args.size() > 1) {
      HWND w = uidriver::FindControl(form_, args[1]);
      if (!w) return "error no control " + platform::ToUtf8(args[1]);
      // Posted, not sent: the click may run a long handler.
      return PostMessageW(w, BM_CLICK, 0, 0) ? "ok" : "error post failed";
    }
    if (c == L"key" && args.size() > 1) return Key(args[1]);
    if (c == L"close") return PostMessageW(form_, WM_CLOSE, 0, 0) ? "ok" : "error post failed";
    if (c == L"message-box") return MessageBoxInfo(Timeout(args, 1));
    if (c == L"answer" && args.size() > 1) return Answer(args[1], Timeout(args, 2));
    if (c == L"input-box") return InputBoxInfo(Timeout(args, 1));
    if (c == L"type-ok" && args.size() > 1) return TypeOk(args[1], Timeout(args, 2));
    if (c == L"input-cancel") return InputCancel(Timeout(args, 1));
    if (c == L"type-credentials" && args.size() > 2)
      return TypeCredentials(args[1], args[2], Timeout(args, 3));
    return "error unknown command " + platform::ToUtf8(c);
  }

 private:
  // The window found last, while it exists; otherwise the first one on screen.
  HWND Form() {
    if (form_ && IsWindow(form_)) return form_;
    std::vector<HWND> all = uidriver::TopLevelWindows(platform::win32::kFormClassName, L"");
    if (all.empty()) return nullptr;
    Adopt(all.front());
    return form_;
  }

  void Adopt(HWND window) {
    form_ = window;
    GetWindowThreadProcessId(window, &pid_);
    // Kept open so that the end of the process can be awaited after the window went.
    process_.reset(OpenProcess(SYNCHRONIZE, FALSE, pid_));
  }

  std::string Find(const std::vector<std::wstring>& args) {
    std::wstring title = args.size() > 2 ? args[2] : L"";
    HWND w = WaitFor(Timeout(args, 1), [&]() -> HWND {
      std::vector<HWND> all = uidriver::TopLevelWindows(platform::win32::kFormClassName, title);
      return all.empty() ? nullptr : all.front();
    });
    if (!w) return "error timeout waiting for the updater's window";
    Adopt(w);
    RECT client{};
    GetClientRect(w, &client);
    return "ok {\"hwnd\":" + std::to_string(reinterpret_cast<std::uintptr_t>(w)) +
           ",\"pid\":" + std::to_string(pid_) + ",\"title\":" + Json(uidriver::WindowText(w)) +
           ",\"client\":" + Rect(client) + "}";
  }

  std::string WaitGone(DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (form_ && IsWindow(form_)) {
      if (GetTickCount() - start >= timeoutMs) return "error timeout: the window is still there";
      Sleep(kPollMs);
    }
    if (process_) {
      DWORD spent = GetTickCount() - start;
      DWORD left = spent >= timeoutMs ? 0 : timeoutMs - spent;
      if (WaitForSingleObject(process_.get(), left) != WAIT_OBJECT_0)
        return "error timeout: the process still runs";
    }
    return "ok";
  }

  std::string Key(const std::wstring& name) {
    WPARAM vk = name == L"tab"      ? VK_TAB
                : name == L"space"  ? VK_SPACE
                : name == L"enter"  ? VK_RETURN
                : name == L"escape" ? VK_ESCAPE
                                    : 0;
    if (!vk) return "error unknown key";
    HWND target = uidriver::FocusOfThread(form_);
    if (!target) target = form_;
    UINT scan = MapVirtualKeyW(static_cast<UINT>(vk), MAPVK_VK_TO_VSC);
    LPARAM down = 1 | (static_cast<LPARAM>(scan) << 16);
    LPARAM up = down | (1L << 30) | (1L << 31);
    PostMessageW(target, WM_KEYDOWN, vk, down);
    if (vk == VK_SPACE) PostMessageW(target, WM_CHAR, L' ', down);
    PostMessageW(target, WM_KEYUP, vk, up);
    return "ok";
  }

  HWND MessageBoxWindow(DWORD timeoutMs) {
    return WaitFor(timeoutMs, [&]() -> HWND {
      std::vector<HWND> boxes = uidriver::ProcessWindows(pid_, L"#32770", nullptr);
      return boxes.empty() ? nullptr : boxes.front();
    });
  }

  std::string MessageBoxInfo(DWORD timeoutMs) {
    HWND box = MessageBoxWindow(timeoutMs);
    if (!box) return "error timeout waiting for a message box";
    std::wstring text;
    std::string buttons;
    for (const ControlInfo& c : uidriver::ListControls(box)) {
      if (_wcsicmp(c.className.c_str(), L"Static") == 0 && !c.text.empty()) {
        text += (text.empty() ? L"" : L"\n") + c.text;
      } else if (_wcsicmp(c.className.c_str(), L"Button") == 0 && c.visible) {
        buttons += (buttons.empty() ? "" : ",") + Json(uidriver::WithoutAccessKey(c.text));
      }
    }
    return "ok {\"title\":" + Json(uidriver::WindowText(box)) + ",\"text\":" + Json(text) +
           ",\"buttons\":[" + buttons + "]}";
  }

  std::string Answer(const std::wstring& button, DWORD timeoutMs) {
    HWND box = MessageBoxWindow(timeoutMs);
    if (!box) return "error timeout waiting for a message box";
    int id = button == L"OK" ? IDOK : button == L"Cancel" ? IDCANCEL
           : button == L"Yes" ? IDYES : button == L"No" ? IDNO : 0;
    HWND target = id ? GetDlgItem(box, id) : uidriver::FindControl(box, button);
    if (!target) return "error no button " + platform::ToUtf8(button);
    return PostMessageW(target, BM_CLICK, 0, 0) ? "ok" : "error post failed";
  }

  HWND InputBoxWindow(DWORD timeoutMs) {
    return WaitFor(timeoutMs, [&]() -> HWND {
      std::vector<HWND> boxes =
          uidriver::ProcessWindows(pid_, platform::win32::kInputBoxClassName, nullptr);
      return boxes.empty() ? nullptr : boxes.front();
    });
  }

  std::string InputBoxInfo(DWORD timeoutMs) {
    HWND box = InputBoxWindow(timeoutMs);
    if (!box) return "error timeout waiting for an input box";
    HWND prompt = GetDlgItem(box, platform::win32::kInputBoxPromptId);
    HWND edit = GetDlgItem(box, platform::win32::kInputBoxEditId);
    return "ok {\"title\":" + Json(uidriver::WindowText(box)) +
           ",\"prompt\":" + Json(prompt ? uidriver::WindowText(prompt) : L"") +
           ",\"text\":" + Json(edit ? uidriver::WindowText(edit) : L"") + "}";
  }

  std::string TypeOk(const std::wstring& text, DWORD timeoutMs) {
    HWND box = InputBoxWindow(timeoutMs);
    if (!box) return "error timeout waiting for an input box";
    HWND edit = GetDlgItem(box, platform::win32::kInputBoxEditId);
    HWND ok = GetDlgItem(box, IDOK);
    if (!edit || !ok) return "error the input box has no field or no OK button";
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                             SMTO_ABORTIFHUNG, 2000, &result))
      return "error the input box does not answer";
    return PostMessageW(ok, BM_CLICK, 0, 0) ? "ok" : "error post failed";
  }

  std::string TypeCredentials(const std::wstring& user, const std::wstring& password,
                              DWORD timeoutMs) {
    HWND box = InputBoxWindow(timeoutMs);
    if (!box) return "error timeout waiting for an input box";
    HWND secret = GetDlgItem(box, platform::win32::kInputBoxPasswordId);
    if (!secret) return "error the input box has no password field";
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(secret, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(password.c_str()),
                             SMTO_ABORTIFHUNG, 2000, &result))
      return "error the input box does not answer";
    return TypeOk(user, timeoutMs);
  }

  std::string InputCancel(DWORD timeoutMs) {
    HWND box = InputBoxWindow(timeoutMs);
    if (!box) return "error timeout waiting for an input box";
    HWND cancel = GetDlgItem(box, IDCANCEL);
    if (!cancel) return "error the input box has no Cancel button";
    return PostMessageW(cancel, BM_CLICK, 0, 0) ? "ok" : "error post failed";
  }

  HWND form_ = nullptr;
  DWORD pid_ = 0;
  platform::win32::UniqueKernelObject process_;
};

void WriteLine(const std::string& line) {
  std::string out = line + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), out.data(), static_cast<DWORD>(out.size()), &written,
            nullptr);
}

// One line of standard input without its line break; nullopt at the end.
std::optional<std::string> ReadLine() {
  std::string line;
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  for (;;) {
    char c = 0;
    DWORD read = 0;
    if (!ReadFile(in, &c, 1, &read, nullptr) || read == 0) {
      if (line.empty()) return std::nullopt;
      return line;
    }
    if (c == '\n') break;
    if (c != '\r') line += c;
  }
  return line;
}

std::vector<std::wstring> SplitTabs(const std::string& line) {
  std::vector<std::wstring> args;
  size_t start = 0;
  for (;;) {
    size_t tab = line.find('\t', start);
    args.push_back(platform::FromUtf8(line.substr(start, tab - start)));
    if (tab == std::string::npos) return args;
    start = tab + 1;
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Driver driver;
  std::vector<std::wstring> args(argv + 1, argv + argc);
  if (args.size() == 1 && args[0] == L"serve") {
    while (std::optional<std::string> line = ReadLine()) {
      if (line->empty()) continue;
      std::vector<std::wstring> command = SplitTabs(*line);
      if (command[0] == L"quit") break;
      WriteLine(driver.Run(command));
    }
    return 0;
  }
  std::string reply = driver.Run(args);
  WriteLine(reply);
  return reply.rfind("ok", 0) == 0 ? 0 : 1;
}
