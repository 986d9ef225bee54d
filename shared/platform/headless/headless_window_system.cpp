#include "platform/headless/headless_window_system.h"

#include <algorithm>
#include <utility>

#include "platform/services.h"

namespace platform {

void HeadlessWindowSystem::Create(Form& form) {
  // A window system realises one form; a test that starts again starts from scratch.
  form_ = &form;
  created_ = true;
  shown_ = destroyed_ = closeRequested_ = false;
  focused_ = nullptr;
  queue_.clear();
  form.Window().SetObserver(this);
  for (Control* c : form.Controls()) c->SetObserver(this);
}

void HeadlessWindowSystem::Show() {
  if (!WindowAlive()) return;
  shown_ = true;
  for (Control* c : InTabOrder(*form_)) {
    if (c->Kind() == ControlKind::Frame || c->Kind() == ControlKind::Label) continue;
    if (Focus(*c)) break;
  }
}

void HeadlessWindowSystem::RunMessageLoop() {
  while (WindowAlive() && !queue_.empty()) RunQueued();
}

void HeadlessWindowSystem::PumpEvents() {
  ++pumpCount_;
  while (!queue_.empty()) RunQueued();
}

void HeadlessWindowSystem::RunQueued() {
  std::function<void()> event = std::move(queue_.front());
  queue_.pop_front();
  event();
}

bool HeadlessWindowSystem::Clickable(const Control& control) const {
  if (!WindowAlive() || !shown_) return false;
  for (const Control* c = &control; c != nullptr; c = c->Container()) {
    if (!c->Visible() || !c->Enabled()) return false;
  }
  return true;
}

bool HeadlessWindowSystem::Focus(Control& control) {
  if (!Clickable(control)) return false;
  focused_ = &control;
  return true;
}

void HeadlessWindowSystem::Destroy() {
  destroyed_ = true;
  focused_ = nullptr;
  queue_.clear();
}

bool HeadlessWindowSystem::Click(Control& control) {
  if (!Clickable(control)) return false;
  focused_ = &control;
  if (control.Kind() == ControlKind::OptionButton) SelectOption(*form_, control);
  form_->OnClick(control);
  return true;
}

void HeadlessWindowSystem::QueueClick(Control& control) {
  queue_.push_back([this, &control] { Click(control); });
}

void HeadlessWindowSystem::QueueClose() {
  queue_.push_back([this] {
    if (!WindowAlive()) return;
    closeRequested_ = true;
    Destroy();
    form_->OnClosed();
  });
}

int HeadlessWindowSystem::ShowMessageBox(const std::wstring& text, const std::wstring& title,
                                         unsigned style) {
  messageBoxes.push_back({text, title, style});
  if (messageBoxAnswers.empty()) return defaultMessageBoxAnswer;
  int answer = messageBoxAnswers.front();
  messageBoxAnswers.pop_front();
  return answer;
}

std::optional<std::wstring> HeadlessWindowSystem::InputBox(const std::wstring& prompt,
                                                           const std::wstring& title,
                                                           const std::wstring& defaultText) {
  inputBoxes.push_back({prompt, title, defaultText});
  if (inputBoxAnswers.empty()) return std::nullopt;
  std::optional<std::wstring> answer = inputBoxAnswers.front();
  inputBoxAnswers.pop_front();
  return answer;
}

void HeadlessWindowSystem::OnControlChanged(Control& control, Property property) {
  if (property == Property::Caption && control.AutoSize()) SizeLabel(control);
  if (focused_ && (property == Property::Enabled || property == Property::Visible) &&
      !Clickable(*focused_))
    focused_ = nullptr;
}

// Width of the longest line and height of the line count, in character cells; the
// top-left corner stays where it is.
void HeadlessWindowSystem::SizeLabel(Control& label) {
  const std::vector<std::wstring> lines = CaptionLines(label.Caption());
  std::size_t longest = 0;
  for (const std::wstring& line : lines) longest = std::max(longest, line.size());
  Twips g = label.Geometry();
  g.width = static_cast<int>(longest) * kCellWidthTwips;
  g.height = static_cast<int>(lines.size()) * kCellHeightTwips;
  label.StoreMeasuredGeometry(g);
}

template <>
WindowSystem& DefaultService<WindowSystem>() {
  static HeadlessWindowSystem windows;
  return windows;
}

}  // namespace platform
