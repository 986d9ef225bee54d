#include "platform/controls.h"

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

bool Control::ShownInModel() const {
  for (const Control* c = this; c != nullptr; c = c->container_) {
    if (!c->visible_) return false;
  }
  return true;
}

}  // namespace platform
