#include "platform/controls.h"

#include <algorithm>
#include <utility>

namespace platform {

Control::Control(ControlKind kind, std::string name, Control* container, Twips geometry,
                 int tabIndex, std::wstring caption)
    : kind_(kind),
      name_(std::move(name)),
      container_(container),
      geometry_(geometry),
      tabIndex_(tabIndex),
      caption_(std::move(caption)) {}

void Control::Notify(Property property) {
  if (observer_) observer_->OnControlChanged(*this, property);
}

void Control::SetCaption(std::wstring caption) {
  caption_ = std::move(caption);
  Notify(Property::Caption);
}

void Control::SetEnabled(bool enabled) {
  enabled_ = enabled;
  Notify(Property::Enabled);
}

void Control::SetVisible(bool visible) {
  visible_ = visible;
  Notify(Property::Visible);
}

void Control::SetValue(bool value) {
  value_ = value;
  Notify(Property::Value);
}

void SelectOption(Form& form, Control& option) {
  for (Control* c : form.Controls()) {
    if (c != &option && c->Kind() == ControlKind::OptionButton &&
        c->Container() == option.Container() && c->Value())
      c->SetValue(false);
  }
  if (!option.Value()) option.SetValue(true);
}

std::vector<Control*> InTabOrder(Form& form) {
  std::vector<Control*> order = form.Controls();
  std::stable_sort(order.begin(), order.end(),
                   [](Control* a, Control* b) { return a->TabIndex() < b->TabIndex(); });
  return order;
}

std::vector<std::wstring> CaptionLines(const std::wstring& caption) {
  std::vector<std::wstring> lines;
  for (std::size_t start = 0;;) {
    const std::size_t end = caption.find(L"\r\n", start);
    lines.push_back(caption.substr(start, end == std::wstring::npos ? end : end - start));
    if (end == std::wstring::npos) return lines;
    start = end + 2;
  }
}

}  // namespace platform
