// The form's window and its controls: the window classes, the fonts, creating,
// showing and destroying the windows, and keeping them in step with the model.
#include "platform/win32/win32_window_system.h"

#include <algorithm>

#include "platform/win32/control_ids.h"
#include "platform/win32/frame_window.h"

namespace platform {

namespace {

constexpr DWORD kFormStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kFormExStyle = WS_EX_CONTROLPARENT;

// The screen's real dots per inch (the manifest declares the program DPI-aware).
int ScreenDpi() {
  win32::WindowDc screen(nullptr);
  int dpi = screen.get() ? GetDeviceCaps(screen.get(), LOGPIXELSX) : 0;
  return dpi > 0 ? dpi : 96;
}

// A window class of the program, registered once per instance; false when refused.
// Icons are set on each window, so that the class holds no handle that a window
// system owns.
bool RegisterWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC proc, UINT style) {
  WNDCLASSEXW wc{};
  if (GetClassInfoExW(instance, name, &wc)) return true;
  wc = WNDCLASSEXW{};
  wc.cbSize = sizeof wc;
  wc.style = style;
  wc.lpfnWndProc = proc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  wc.lpszClassName = name;
  return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

Win32WindowSystem::Win32WindowSystem(HINSTANCE instance) : instance_(instance) {}

Win32WindowSystem::~Win32WindowSystem() {
  // The form may be gone already: only the windows are destroyed here.
  form_model_ = nullptr;
  if (form_) DestroyWindow(form_.get());
  form_.release();
}

bool Win32WindowSystem::WindowAlive() const {
  return form_ && !destroyed_ && IsWindow(form_.get());
}

HWND Win32WindowSystem::WindowOf(const Control& control) const {
  if (!WindowAlive()) return nullptr;
  if (form_model_ && &control == &form_model_->Window()) return form_.get();
  auto it = windows_.find(&control);
  return it == windows_.end() ? nullptr : it->second;
}

Control* Win32WindowSystem::ControlOfWindow(HWND window) const {
  for (const auto& [control, hwnd] : windows_) {
    if (hwnd == window) return const_cast<Control*>(control);
  }
  return nullptr;
}

std::vector<Control*> Win32WindowSystem::TabOrder() const {
  return form_model_ ? InTabOrder(*form_model_) : std::vector<Control*>();
}

void Win32WindowSystem::ForgetWindows() {
  form_.release();
  windows_.clear();
  byId_.clear();
  savedFocus_ = nullptr;
}

void Win32WindowSystem::Create(Form& form) {
  if (form_) DestroyWindow(form_.get());
  ForgetWindows();
  form_model_ = &form;
  destroyed_ = closeRequested_ = false;
  // A quit request left behind by an earlier window must not end the next loop.
  MSG stale;
  while (PeekMessageW(&stale, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }

  dpi_ = ScreenDpi();
  form.Window().SetObserver(this);
  for (Control* c : form.Controls()) c->SetObserver(this);

  if (!bigIcon_) {
    bigIcon_.reset(static_cast<HICON>(LoadImageW(
        instance_, MAKEINTRESOURCEW(win32::kAppIconResourceId), IMAGE_ICON,
        GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0)));
    smallIcon_.reset(static_cast<HICON>(LoadImageW(
        instance_, MAKEINTRESOURCEW(win32::kAppIconResourceId), IMAGE_ICON,
        GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0)));
  }
  if (!RegisterWindowClass(instance_, win32::kFormClassName, FormProc, 0) ||
      !RegisterWindowClass(instance_, win32::kFrameClassName, win32::FrameProc,
                           CS_HREDRAW | CS_VREDRAW))
    return;

  // Label1's font: Fixedsys 9 pt, regular, ANSI. Where Fixedsys is missing (Wine), the
  // pitch and family still pick a fixed-pitch face, which keeps the columns aligned.
  labelFont_.reset(CreateFontW(-MulDiv(9, dpi_, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                               ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                               DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, L"Fixedsys"));
  // Every other control: the system's message font, as dialogs use it.
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
    guiFont_.reset(CreateFontIndirectW(&metrics.lfMessageFont));

  const Twips& client = form.Window().Geometry();
  RECT frame{0, 0, ToPixels(client.width), ToPixels(client.height)};
  AdjustWindowRectEx(&frame, kFormStyle, FALSE, kFormExStyle);
  HWND window = CreateWindowExW(kFormExStyle, win32::kFormClassName,
                                form.Window().Caption().c_str(), kFormStyle, CW_USEDEFAULT,
                                CW_USEDEFAULT, frame.right - frame.left,
                                frame.bottom - frame.top, nullptr, nullptr, instance_, this);
  if (!window) return;
  form_.reset(window);
  HICON big = bigIcon_ ? bigIcon_.get() : LoadIconW(nullptr, IDI_APPLICATION);
  HICON small = smallIcon_ ? smallIcon_.get() : big;
  SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
  SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));

  // Tab order is the order of the siblings: create them in tab order, each container
  // before what it holds.
  for (Control* c : TabOrder()) CreateControl(*c);
}

void Win32WindowSystem::CreateControl(Control& control) {
  if (windows_.count(&control)) return;
  HWND parent = form_.get();
  Control* container = control.Container();
  if (container && container != &form_model_->Window()) {
    CreateControl(*container);
    auto it = windows_.find(container);
    if (it == windows_.end()) return;
    parent = it->second;
  }

  const wchar_t* windowClass = L"BUTTON";
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
  DWORD exStyle = 0;
  HFONT font = guiFont_ ? guiFont_.get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  switch (control.Kind()) {
    case ControlKind::Frame:
      windowClass = win32::kFrameClassName;
      style |= WS_CLIPCHILDREN;
      exStyle |= WS_EX_CONTROLPARENT;  // the dialog keys walk into the frame
      break;
    case ControlKind::Label:
      windowClass = L"STATIC";
      style |= SS_LEFTNOWORDWRAP | SS_NOPREFIX;
      if (control.FixedPitchFont() && labelFont_) font = labelFont_.get();
      break;
    case ControlKind::OptionButton: {
      // Selection is kept by the model, so the button never checks itself.
      style |= BS_RADIOBUTTON | WS_TABSTOP;
      bool firstInContainer = true;
      for (const auto& [other, hwnd] : windows_) {
        if (other->Kind() == ControlKind::OptionButton && other->Container() == container)
          firstInContainer = false;
      }
      if (firstInContainer) style |= WS_GROUP;
      break;
    }
    case ControlKind::CommandButton:
      style |= BS_PUSHBUTTON | WS_TABSTOP;
      break;
    case ControlKind::Window:
      return;
  }
  if (control.Visible()) style |= WS_VISIBLE;
  if (!control.Enabled()) style |= WS_DISABLED;

  int id = win32::ControlIdForName(control.Name());
  if (id == 0 || byId_.count(id)) {
    id = win32::kFirstFreeControlId;
    while (byId_.count(id)) ++id;
  }

  HWND window = CreateWindowExW(exStyle, windowClass, control.Caption().c_str(), style, 0, 0, 0,
                                0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                instance_, nullptr);
  if (!window) return;
  // Each new sibling goes below the ones before it: z-order is tab order.
  SetWindowPos(window, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  windows_[&control] = window;
  byId_[id] = &control;
  SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  if (control.Kind() == ControlKind::OptionButton) {
    SendMessageW(window, BM_SETCHECK, control.Value() ? BST_CHECKED : BST_UNCHECKED, 0);
    SyncOptionTabStops(container);
  }
  if (control.AutoSize() && control.Caption().empty()) {
    // A new, empty label keeps its designed size until it gets a text.
    PlaceInTwips(control);
  } else {
    ApplyGeometry(control);
  }
}

void Win32WindowSystem::Show() {
  if (!WindowAlive()) return;
  HWND window = form_.get();
  RECT r;
  GetWindowRect(window, &r);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  if (GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor))
    screen = monitor.rcMonitor;
  int width = r.right - r.left, height = r.bottom - r.top;
  int x = screen.left + (screen.right - screen.left - width) / 2;
  int y = screen.top + (screen.bottom - screen.top - height) / 2;
  SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ShowWindow(window, SW_SHOWNORMAL);
  SetForegroundWindow(window);
  UpdateWindow(window);
  for (Control* c : TabOrder()) {
    if (Focus(*c)) break;
  }
}

void Win32WindowSystem::Destroy() {
  if (form_) DestroyWindow(form_.get());
  ForgetWindows();
  destroyed_ = true;
}

void Win32WindowSystem::OnControlChanged(Control& control, Property property) {
  if (!WindowAlive() || !form_model_) return;
  HWND window = WindowOf(control);
  if (!window) return;

  if (&control == &form_model_->Window()) {
    if (property == Property::Caption) SetWindowTextW(window, control.Caption().c_str());
    return;
  }
  switch (property) {
    case Property::Caption:
      SetWindowTextW(window, control.Caption().c_str());
      if (control.AutoSize()) SizeLabel(control);
      break;
    case Property::Enabled: {
      HWND focusBefore = FocusBeforeChange();
      EnableWindow(window, control.Enabled() ? TRUE : FALSE);
      if (!control.Enabled()) MoveFocusAwayFrom(control, focusBefore);
      break;
    }
    case Property::Visible: {
      HWND focusBefore = FocusBeforeChange();
      ShowWindow(window, control.Visible() ? SW_SHOWNA : SW_HIDE);
      if (!control.Visible()) MoveFocusAwayFrom(control, focusBefore);
      break;
    }
    case Property::Value:
      SendMessageW(window, BM_SETCHECK, control.Value() ? BST_CHECKED : BST_UNCHECKED, 0);
      break;
  }
  if (control.Kind() == ControlKind::OptionButton) SyncOptionTabStops(control.Container());
}

}  // namespace platform
