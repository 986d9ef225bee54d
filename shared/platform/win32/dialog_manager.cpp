// The form's window procedure and its own dialog manager: one tab stop per option
// group, the focus moved on from a control that can no longer hold it, the focus kept
// over deactivation, the Enter key and the clicks; and the end of the window.
#include "platform/win32/win32_window_system.h"

#include <algorithm>

namespace platform {

namespace {

bool Takes(ControlKind kind) {
  return kind == ControlKind::CommandButton || kind == ControlKind::OptionButton;
}

}  // namespace

bool Win32WindowSystem::CanTakeInput(const Control& control) const {
  if (!WindowAlive() || !Takes(control.Kind())) return false;
  for (const Control* c = &control; c != nullptr; c = c->Container()) {
    if (!c->Visible() || !c->Enabled()) return false;
  }
  HWND window = WindowOf(control);
  return window && IsWindowVisible(window) && IsWindowEnabled(window);
}

bool Win32WindowSystem::Focus(Control& control) {
  if (!WindowAlive() || !IsWindowVisible(form_.get()) || !CanTakeInput(control)) return false;
  HWND window = WindowOf(control);
  SetFocus(window);
  return GetFocus() == window;
}

HWND Win32WindowSystem::FocusBeforeChange() const {
  if (!WindowAlive()) return nullptr;
  // While another window is active the focus to come back to is the one remembered.
  if (GetActiveWindow() != form_.get()) return savedFocus_;
  return GetFocus();
}

void Win32WindowSystem::MoveFocusAwayFrom(const Control& control, HWND focusBefore) {
  HWND window = WindowOf(control);
  if (!window || !focusBefore || (focusBefore != window && !IsChild(window, focusBefore)))
    return;
  Control* focused = ControlOfWindow(focusBefore);
  if (focused && CanTakeInput(*focused)) return;

  std::vector<Control*> order = TabOrder();
  if (order.empty()) return;
  auto at = std::find(order.begin(), order.end(), focused ? focused : &control);
  size_t start = at == order.end() ? 0 : static_cast<size_t>(at - order.begin());
  HWND next = form_.get();
  for (size_t step = 1; step <= order.size(); ++step) {
    Control* candidate = order[(start + step) % order.size()];
    if (CanTakeInput(*candidate)) {
      next = WindowOf(*candidate);
      break;
    }
  }
  if (GetActiveWindow() == form_.get()) {
    SetFocus(next);
  } else {
    savedFocus_ = next == form_.get() ? nullptr : next;  // taken back on activation
  }
}

// Tab reaches one option of a group: the selected one, or while none is selected the
// first that can take the focus (the button control itself keeps a tab stop only on
// a checked radio button, which would leave an unselected group out of reach).
void Win32WindowSystem::SyncOptionTabStops(const Control* container) {
  if (!form_model_) return;
  std::vector<Control*> group;
  for (Control* c : TabOrder()) {
    if (c->Kind() == ControlKind::OptionButton && c->Container() == container && WindowOf(*c))
      group.push_back(c);
  }
  Control* stop = nullptr;
  for (Control* c : group) {
    if (c->Value() && c->Visible() && c->Enabled()) stop = c;
  }
  for (Control* c : group) {
    if (!stop && c->Visible() && c->Enabled()) stop = c;
  }
  for (Control* c : group) {
    HWND w = WindowOf(*c);
    LONG style = GetWindowLongW(w, GWL_STYLE);
    LONG wanted = c == stop ? (style | WS_TABSTOP) : (style & ~WS_TABSTOP);
    if (wanted != style) SetWindowLongW(w, GWL_STYLE, wanted);
  }
}

void Win32WindowSystem::OnCommand(int id, int code) {
  if (code != BN_CLICKED || !form_model_) return;
  auto it = byId_.find(id);
  if (it == byId_.end()) return;  // IDOK/IDCANCEL from Enter/Escape: no default buttons
  Control& control = *it->second;
  if (!CanTakeInput(control)) return;
  if (control.Kind() == ControlKind::OptionButton) SelectOption(*form_model_, control);
  form_model_->OnClick(control);
}

LRESULT CALLBACK Win32WindowSystem::FormProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<Win32WindowSystem*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(window, message, wParam, lParam);
  return self->HandleFormMessage(window, message, wParam, lParam);
}

LRESULT Win32WindowSystem::HandleFormMessage(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (lParam != 0) {
        OnCommand(LOWORD(wParam), HIWORD(wParam));
      } else if (LOWORD(wParam) == IDOK) {
        // Enter, with no default button: it presses the focused push button, as it
        // does once the dialog keys have made that button the default; elsewhere it
        // does nothing. Escape (IDCANCEL) never does anything.
        HWND focus = GetFocus();
        Control* focused = ControlOfWindow(focus);
        if (focused && focused->Kind() == ControlKind::CommandButton)
          OnCommand(GetDlgCtrlID(focus), BN_CLICKED);
      }
      return 0;
    case WM_ACTIVATE:
      // Like a dialog: the control that had the focus gets it back on return.
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(window, focus)) savedFocus_ = focus;
      } else if (savedFocus_ && IsWindow(savedFocus_) && IsChild(window, savedFocus_) &&
                 IsWindowVisible(savedFocus_) && IsWindowEnabled(savedFocus_)) {
        SetFocus(savedFocus_);
        return 0;
      }
      break;
    case WM_CLOSE:
      // The user closes the window: it goes at once and the message loop ends. The
      // form only hears of it afterwards (a running download then stops).
      closeRequested_ = true;
      Destroy();
      if (form_model_) form_model_->OnClosed();
      return 0;
    case WM_DESTROY:
      destroyed_ = true;
      PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY:
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      if (form_.get() == window) ForgetWindows();
      break;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace platform
