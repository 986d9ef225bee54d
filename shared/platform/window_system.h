// The window system that realises a form: real child windows on Windows, a scripted
// headless one in tests. It also owns the modal boxes and the event pump.
#pragma once

#include <optional>
#include <string>
#include <utility>

#include "platform/controls.h"

namespace platform {

// Message box styles and answers, with their Windows values.
inline constexpr unsigned kMbOk = 0x0;
inline constexpr unsigned kMbYesNoCancel = 0x3;
inline constexpr unsigned kMbIconError = 0x10;
inline constexpr unsigned kMbIconExclamation = 0x30;
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

class WindowSystem : public ControlObserver {
 public:
  // Realises `form` hidden. Later property changes of its controls reach
  // OnControlChanged. One form per window system.
  virtual void Create(Form& form) = 0;

  // Shows the window centred on the screen and gives the focus to the first control
  // in tab order that can take it.
  virtual void Show() = 0;

  // Runs the window's events until it is closed or destroyed.
  virtual void RunMessageLoop() = 0;

  // Lets every pending window event run (clicks, repaints) and returns when none is
  // left. Called from inside long operations.
  virtual void PumpEvents() = 0;

  // Gives the keyboard focus to `control`; false, with no effect, when it cannot take
  // it (window not shown, control disabled or hidden, window gone).
  virtual bool Focus(Control& control) = 0;

  // Destroys the window; later property changes only update the model.
  virtual void Destroy() = 0;

  // True while the window exists (not closed by the user, not destroyed).
  virtual bool WindowAlive() const = 0;

  // True once the user has closed the window through the window system.
  virtual bool CloseRequested() const = 0;

  // A modal message box; returns kIdYes, kIdNo, kIdCancel or kIdOk. An empty title
  // means the program's own title.
  virtual int ShowMessageBox(const std::wstring& text, const std::wstring& title,
                             unsigned style) = 0;

  // A modal input box with a prompt, an edit field, OK and Cancel. Returns the text
  // typed, or nullopt when cancelled. An empty title means the program's own title.
  virtual std::optional<std::wstring> InputBox(const std::wstring& prompt,
                                               const std::wstring& title,
                                               const std::wstring& defaultText) = 0;

  // A modal box that asks for a user name and a password (typed hidden), with OK and
  // Cancel; the two texts, or nullopt when cancelled. A window system without one
  // answers nullopt.
  virtual std::optional<std::pair<std::wstring, std::wstring>> CredentialsBox(
      const std::wstring& /*prompt*/, const std::wstring& /*title*/) {
    return std::nullopt;
  }
};

// The program's own title for boxes that have none of their own.
inline const wchar_t* kProgramTitle = L"vlrupdate";

}  // namespace platform
