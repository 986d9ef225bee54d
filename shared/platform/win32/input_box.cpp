#include "platform/win32/input_box.h"

#include <cstdint>
#include <vector>

#include "platform/window_system.h"

namespace platform::win32 {

namespace {

// Dialog units of the box and its controls.
constexpr short kBoxWidth = 250;
constexpr short kBoxHeight = 86;
constexpr short kMargin = 7;
constexpr short kButtonWidth = 50;
constexpr short kButtonHeight = 14;
constexpr short kEditHeight = 12;

// An in-memory dialog template (DLGTEMPLATE and its DLGITEMTEMPLATEs), built as the
// sequence of 16-bit words the dialog manager reads.
class DialogTemplate {
 public:
  DialogTemplate(DWORD style, short cx, short cy, const wchar_t* className,
                 const wchar_t* fontName, WORD pointSize) {
    PutDword(style);
    PutDword(0);  // extended style
    countAt_ = words_.size();
    words_.push_back(0);  // number of items, filled in as they are added
    PutCoordinates(0, 0, cx, cy);
    words_.push_back(0);  // no menu
    PutText(className);
    PutText(L"");  // title: set when the dialog starts
    words_.push_back(pointSize);
    PutText(fontName);
  }

  // One control of a predefined class (0x80 button, 0x81 edit, 0x82 static).
  void AddItem(DWORD style, short x, short y, short cx, short cy, WORD id, WORD classAtom,
               const wchar_t* text) {
    Align();
    PutDword(style | WS_CHILD | WS_VISIBLE);
    PutDword(0);
    PutCoordinates(x, y, cx, cy);
    words_.push_back(id);
    words_.push_back(0xFFFF);
    words_.push_back(classAtom);
    PutText(text);
    words_.push_back(0);  // no creation data
    ++words_[countAt_];
  }

  const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  void PutDword(DWORD value) {
    words_.push_back(static_cast<WORD>(value & 0xFFFF));
    words_.push_back(static_cast<WORD>(value >> 16));
  }
  void PutCoordinates(short x, short y, short cx, short cy) {
    for (short v : {x, y, cx, cy}) words_.push_back(static_cast<WORD>(v));
  }
  void PutText(const wchar_t* text) {
    for (; *text; ++text) words_.push_back(static_cast<WORD>(*text));
    words_.push_back(0);
  }
  // Each item starts on a 32-bit boundary.
  void Align() {
    if (words_.size() % 2 != 0) words_.push_back(0);
  }

  std::vector<WORD> words_;
  size_t countAt_ = 0;
};

struct InputBoxState {
  const std::wstring* prompt;
  const std::wstring* title;
  const std::wstring* defaultText;
  std::wstring answer;
  std::wstring secret;  // the password field's, in a credentials box
};

std::wstring WindowText(HWND window) {
  int length = GetWindowTextLengthW(window);
  if (length <= 0) return {};
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  int copied = GetWindowTextW(window, text.data(), length + 1);
  text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
  return text;
}

INT_PTR CALLBACK InputBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      auto* state = reinterpret_cast<InputBoxState*>(lParam);
      SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      SetWindowTextW(dialog, state->title->c_str());
      SetDlgItemTextW(dialog, kInputBoxPromptId, state->prompt->c_str());
      HWND edit = GetDlgItem(dialog, kInputBoxEditId);
      SetWindowTextW(edit, state->defaultText->c_str());
      SendMessageW(edit, EM_SETSEL, 0, -1);
      SetFocus(edit);
      return FALSE;  // the focus is set
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        auto* state = reinterpret_cast<InputBoxState*>(GetWindowLongPtrW(dialog, DWLP_USER));
        if (state) {
          state->answer = WindowText(GetDlgItem(dialog, kInputBoxEditId));
          if (HWND secret = GetDlgItem(dialog, kInputBoxPasswordId)) {
            state->secret = WindowText(secret);
            // The typed password leaves no copy in the dialog's memory.
            SetWindowTextW(secret, L"");
          }
        }
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {  // Cancel, Escape and the close box
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      break;
    default:
      break;
  }
  return FALSE;
}

// The dialog's own class, so that a driver can tell it from other dialogs. A dialog
// class must be handled by the dialog manager and leave it its window extra bytes.
bool RegisterInputBoxClass(HINSTANCE instance) {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExW(instance, kInputBoxClassName, &existing)) return true;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = DefDlgProcW;
  wc.cbWndExtra = DLGWINDOWEXTRA;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kInputBoxClassName;
  return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// Shows the box; with `password`, a second field for a password under the first.
// IDOK or IDCANCEL (also when it cannot be shown).
INT_PTR ShowBox(HWND owner, InputBoxState& state, bool password) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  if (!RegisterInputBoxClass(instance)) return IDCANCEL;

  const short extra = password ? kEditHeight + 6 : 0;
  const short height = kBoxHeight + extra;
  DialogTemplate box(DS_SETFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU,
                     kBoxWidth, height, kInputBoxClassName, L"MS Shell Dlg", 8);
  const short buttonX = kBoxWidth - kMargin - kButtonWidth;
  const short promptWidth = buttonX - 2 * kMargin;
  const short editY = kBoxHeight - kMargin - kEditHeight;
  box.AddItem(SS_LEFT | SS_NOPREFIX, kMargin, kMargin, promptWidth, editY - 2 * kMargin,
              kInputBoxPromptId, 0x0082, L"");
  box.AddItem(BS_DEFPUSHBUTTON | WS_TABSTOP, buttonX, kMargin, kButtonWidth, kButtonHeight, IDOK,
              0x0080, L"OK");
  box.AddItem(BS_PUSHBUTTON | WS_TABSTOP, buttonX, kMargin + kButtonHeight + 4, kButtonWidth,
              kButtonHeight, IDCANCEL, 0x0080, L"Cancel");
  box.AddItem(ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, kMargin, editY,
              kBoxWidth - 2 * kMargin, kEditHeight, kInputBoxEditId, 0x0081, L"");
  if (password) {
    box.AddItem(ES_LEFT | ES_AUTOHSCROLL | ES_PASSWORD | WS_BORDER | WS_TABSTOP, kMargin,
                editY + extra, kBoxWidth - 2 * kMargin, kEditHeight, kInputBoxPasswordId, 0x0081,
                L"");
  }
  return DialogBoxIndirectParamW(instance, box.Get(), owner, InputBoxProc,
                                 reinterpret_cast<LPARAM>(&state));
}

}  // namespace

std::optional<std::wstring> ShowInputBox(HWND owner, const std::wstring& prompt,
                                         const std::wstring& title,
                                         const std::wstring& defaultText) {
  const std::wstring shownTitle = title.empty() ? std::wstring(kProgramTitle) : title;
  InputBoxState state{&prompt, &shownTitle, &defaultText, {}, {}};
  if (ShowBox(owner, state, false) != IDOK) return std::nullopt;
  return state.answer;
}

std::optional<std::pair<std::wstring, std::wstring>> ShowCredentialsBox(
    HWND owner, const std::wstring& prompt, const std::wstring& title) {
  const std::wstring shownTitle = title.empty() ? std::wstring(kProgramTitle) : title;
  const std::wstring empty;
  InputBoxState state{&prompt, &shownTitle, &empty, {}, {}};
  if (ShowBox(owner, state, true) != IDOK) return std::nullopt;
  return std::make_pair(std::move(state.answer), std::move(state.secret));
}

}  // namespace platform::win32
