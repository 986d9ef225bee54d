// A window system without windows: it keeps the form's properties, and a test clicks,
// closes the window and answers the boxes through it. Used by the unit tests on both
// platforms, by the native build of the updater, and by "/quiet", which has no window.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/window_system.h"

namespace platform {

class HeadlessWindowSystem : public WindowSystem {
 public:
  // One character cell of the label's fixed-pitch font (8 x 15 pixels at 96 dpi).
  static constexpr int kCellWidthTwips = 120;
  static constexpr int kCellHeightTwips = 225;

  struct MessageBoxCall {
    std::wstring text;
    std::wstring title;
    unsigned style;
  };
  struct InputBoxCall {
    std::wstring prompt;
    std::wstring title;
    std::wstring defaultText;
  };

  void Create(Form& form) override;
  void Show() override;
  void RunMessageLoop() override;
  void PumpEvents() override;
  bool Focus(Control& control) override;
  void Destroy() override;
  bool WindowAlive() const override { return created_ && !destroyed_; }
  bool CloseRequested() const override { return closeRequested_; }
  int ShowMessageBox(const std::wstring& text, const std::wstring& title,
                     unsigned style) override;
  std::optional<std::wstring> InputBox(const std::wstring& prompt, const std::wstring& title,
                                       const std::wstring& defaultText) override;
  void OnControlChanged(Control& control, Property property) override;

  // What a user can do. Click runs the handler at once when the control can be
  // clicked (window alive and shown, control enabled and shown) and says whether it
  // ran. The Queue forms wait for the next event pump or the message loop.
  bool Click(Control& control);
  void QueueClick(Control& control);
  void QueueClose();

  bool Shown() const { return shown_; }
  Control* Focused() const { return focused_; }
  int PumpCount() const { return pumpCount_; }

  // Scripted answers, used in order; when none is left the message box answers
  // `defaultMessageBoxAnswer` and the input box is cancelled.
  std::deque<int> messageBoxAnswers;
  std::deque<std::optional<std::wstring>> inputBoxAnswers;
  int defaultMessageBoxAnswer = kIdCancel;
  std::vector<MessageBoxCall> messageBoxes;
  std::vector<InputBoxCall> inputBoxes;

 private:
  bool Clickable(const Control& control) const;
  void RunQueued();
  void SizeLabel(Control& label);

  Form* form_ = nullptr;
  bool created_ = false;
  bool shown_ = false;
  bool destroyed_ = false;
  bool closeRequested_ = false;
  Control* focused_ = nullptr;
  int pumpCount_ = 0;
  std::deque<std::function<void()>> queue_;
};

}  // namespace platform
