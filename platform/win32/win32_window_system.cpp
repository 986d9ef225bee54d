#include "platform/win32/win32_window_system.h"

#include <algorithm>

#include "platform/win32/control_ids.h"
#include "platform/win32/frame_window.h"
#include "platform/win32/input_box.h"

namespace platform {

namespace {

constexpr DWORD kFormStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kFormExStyle = WS_EX_CONTROLPARENT;

bool Takes(ControlKind kind) {
  return kind == ControlKind::CommandButton || kind == ControlKind::OptionButton;
}

// The screen's real dots per inch (the manifest declares the program DPI-aware).
int ScreenDpi() {
  win32::WindowDc screen(nullptr);
  int dpi = screen.get() ? GetDeviceCaps(screen.get(), LOGPIXELSX) : 0;
  return dpi > 0 ? dpi : 96;
}

// The lines of a caption; lines are separated by CR LF.
std::vector<std::wstring> Lines(const std::wstring& text) {
  std::vector<std::wstring> lines;
  size_t start = 0;
  for (;;) {
    size_t end = text.find(L"\r\n", start);
    if (end == std::wstring::npos) {
      lines.push_back(text.substr(start));
      return lines;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
}

// The window class of the form, registered once per instance; false when refused.
// Icons are set on each window, so that the class holds no handle that a window
// system owns.
bool RegisterFormClass(HINSTANCE instance, WNDPROC proc) {
  WNDCLASSEXW wc{};
  if (GetClassInfoExW(instance, win32::kFormClassName, &wc)) return true;
  wc = WNDCLASSEXW{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = proc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  wc.lpszClassName = win32::kFormClassName;
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

int Win32WindowSystem::ToPixels(int twips) const { return MulDiv(twips, dpi_, 1440); }
int Win32WindowSystem::ToTwips(int pixels) const { return MulDiv(pixels, 1440, dpi_); }

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
  std::vector<Control*> order;
  if (form_model_) order = form_model_->Controls();
  std::stable_sort(order.begin(), order.end(),
                   [](Control* a, Control* b) { return a->TabIndex() < b->TabIndex(); });
  return order;
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
  if (!RegisterFormClass(instance_, FormProc) ||
      !win32::RegisterFrameClass(instance_))
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

void Win32WindowSystem::ApplyGeometry(Control& control) {
  HWND window = WindowOf(control);
  if (!window) return;
  if (control.AutoSize()) {
    SizeLabel(control);
    return;
  }
  PlaceInTwips(control);
}

void Win32WindowSystem::PlaceInTwips(Control& control) {
  HWND window = WindowOf(control);
  if (!window) return;
  const Twips& g = control.Geometry();
  // Edges are converted, not sizes, so that edges that line up in twips line up in
  // pixels too.
  int left = ToPixels(g.left), top = ToPixels(g.top);
  SetWindowPos(window, nullptr, left, top, ToPixels(g.left + g.width) - left,
               ToPixels(g.top + g.height) - top, SWP_NOZORDER | SWP_NOACTIVATE);
}

// Width of the longest line, height of the line count, measured in the label's font;
// the top-left corner stays. A line wider than its container is clipped by it.
void Win32WindowSystem::SizeLabel(Control& label) {
  HWND window = WindowOf(label);
  if (!window) return;
  HFONT font = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
  win32::WindowDc dc(window);
  if (!dc.get()) return;
  win32::SelectedObject selected(dc.get(),
                                 font ? static_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT));
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc.get(), &metrics);
  int width = 0;
  std::vector<std::wstring> lines = Lines(label.Caption());
  for (const std::wstring& line : lines) {
    if (line.empty()) continue;
    RECT r{0, 0, 0, 0};
    DrawTextW(dc.get(), line.c_str(), static_cast<int>(line.size()), &r,
              DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX | DT_EXPANDTABS);
    width = std::max(width, static_cast<int>(r.right - r.left));
  }
  int height = static_cast<int>(lines.size()) * metrics.tmHeight;

  Twips g = label.Geometry();
  SetWindowPos(window, nullptr, ToPixels(g.left), ToPixels(g.top), width, height,
               SWP_NOZORDER | SWP_NOACTIVATE);
  g.width = ToTwips(width);
  g.height = ToTwips(height);
  label.StoreMeasuredGeometry(g);
}

bool Win32WindowSystem::CanTakeInput(const Control& control) const {
  if (!WindowAlive() || !Takes(control.Kind())) return false;
  for (const Control* c = &control; c != nullptr; c = c->Container()) {
    if (!c->Visible() || !c->Enabled()) return false;
  }
  HWND window = WindowOf(control);
  return window && IsWindowVisible(window) && IsWindowEnabled(window);
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

void Win32WindowSystem::RunMessageLoop() {
  MSG msg;
  while (WindowAlive()) {
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) break;
    if (!(form_ && IsDialogMessageW(form_.get(), &msg))) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  // The quit request that the window's end posted is ours: leave none behind.
  while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
}

void Win32WindowSystem::PumpEvents() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // Not ours to take: the message loop that is waiting for it gets it back.
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    if (!(form_ && IsDialogMessageW(form_.get(), &msg))) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
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
    case Property::Geometry:
      ApplyGeometry(control);
      break;
  }
  if (control.Kind() == ControlKind::OptionButton) SyncOptionTabStops(control.Container());
}

void Win32WindowSystem::OnCommand(int id, int code) {
  if (code != BN_CLICKED || !form_model_) return;
  auto it = byId_.find(id);
  if (it == byId_.end()) return;  // IDOK/IDCANCEL from Enter/Escape: no default buttons
  Control& control = *it->second;
  if (!CanTakeInput(control)) return;
  if (control.Kind() == ControlKind::OptionButton) {
    // Option buttons in one container form one group: selecting one clears the rest.
    for (Control* c : form_model_->Controls()) {
      if (c != &control && c->Kind() == ControlKind::OptionButton &&
          c->Container() == control.Container() && c->Value())
        c->SetValue(false);
    }
    if (!control.Value()) control.SetValue(true);
  }
  form_model_->OnClick(control);
}

int Win32WindowSystem::ShowMessageBox(const std::wstring& text, const std::wstring& title,
                                      unsigned style) {
  int answer = MessageBoxW(FormWindow(), text.c_str(),
                           title.empty() ? kProgramTitle : title.c_str(), style);
  return answer == 0 ? kIdCancel : answer;
}

std::optional<std::wstring> Win32WindowSystem::InputBox(const std::wstring& prompt,
                                                        const std::wstring& title,
                                                        const std::wstring& defaultText) {
  return win32::ShowInputBox(FormWindow(), prompt, title.empty() ? kProgramTitle : title,
                             defaultText);
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
