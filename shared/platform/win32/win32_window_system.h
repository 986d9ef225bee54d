// The real window system: the form as a top-level window with child windows for its
// controls, the message loop, the event pump and the modal boxes.
#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/win32_handles.h"
#include "platform/window_system.h"

namespace platform {

class Win32WindowSystem final : public WindowSystem {
 public:
  // Windows are created with `instance` (the executable's, for its icon resource).
  explicit Win32WindowSystem(HINSTANCE instance);
  ~Win32WindowSystem() override;
  Win32WindowSystem(const Win32WindowSystem&) = delete;
  Win32WindowSystem& operator=(const Win32WindowSystem&) = delete;

  // Creates the form's window and all its controls hidden (a window created before is
  // destroyed first). When the system refuses a window, the form stays unrealised:
  // WindowAlive() is false and every later call only touches the model.
  void Create(Form& form) override;
  void Show() override;
  void RunMessageLoop() override;
  void PumpEvents() override;
  bool Focus(Control& control) override;
  void Destroy() override;
  bool WindowAlive() const override;
  bool CloseRequested() const override { return closeRequested_; }
  int ShowMessageBox(const std::wstring& text, const std::wstring& title,
                     unsigned style) override;
  std::optional<std::wstring> InputBox(const std::wstring& prompt, const std::wstring& title,
                                       const std::wstring& defaultText) override;
  std::optional<std::pair<std::wstring, std::wstring>> CredentialsBox(
      const std::wstring& prompt, const std::wstring& title) override;
  void OnControlChanged(Control& control, Property property) override;

  // The form's top-level window; null before Create and after it is gone.
  HWND FormWindow() const { return WindowAlive() ? form_.get() : nullptr; }
  // The child window of `control`; null when there is none (or the form is gone).
  HWND WindowOf(const Control& control) const;
  // The dots per inch that twips are converted with.
  int Dpi() const { return dpi_; }
  // Twips to pixels at Dpi(), rounded to the nearest pixel.
  int ToPixels(int twips) const;
  int ToTwips(int pixels) const;

 private:
  static LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleFormMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  void CreateControl(Control& control);
  // Places and sizes the control's window: auto-sized labels by their text, the rest
  // by their twips.
  void ApplyGeometry(Control& control);
  void PlaceInTwips(Control& control);
  void SizeLabel(Control& label);
  void OnCommand(int id, int code);
  void SyncOptionTabStops(const Control* container);
  // Model and window agree that `control` can be clicked or focused now.
  bool CanTakeInput(const Control& control) const;
  // The window that holds the focus (or gets it back when the form is activated again).
  HWND FocusBeforeChange() const;
  // When the focus sat on (or inside) `control`, which can no longer hold it, passes
  // it on to the next control in tab order, as the keyboard user expects; the form
  // itself takes it when no control can.
  void MoveFocusAwayFrom(const Control& control, HWND focusBefore);
  std::vector<Control*> TabOrder() const;
  Control* ControlOfWindow(HWND window) const;
  void ForgetWindows();

  HINSTANCE instance_;
  int dpi_ = 96;
  Form* form_model_ = nullptr;
  win32::UniqueWindow form_;
  win32::UniqueFont labelFont_;
  win32::UniqueFont guiFont_;
  win32::UniqueIcon bigIcon_;
  win32::UniqueIcon smallIcon_;
  std::map<const Control*, HWND> windows_;  // owned by form_ (destroyed with it)
  std::map<int, Control*> byId_;
  HWND savedFocus_ = nullptr;  // the focus to restore when the form is activated
  bool destroyed_ = false;
  bool closeRequested_ = false;
};

}  // namespace platform
