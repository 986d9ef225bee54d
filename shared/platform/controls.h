// The form as a model: controls with the properties the wizard reads and writes.
// A window system realises the model and is told of every change.
#pragma once

#include <string>
#include <vector>

namespace platform {

enum class ControlKind { Window, Frame, Label, OptionButton, CommandButton };
enum class Property { Caption, Enabled, Visible, Value };

// Positions and sizes in twips, relative to the inner area of the container.
struct Twips {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

class Control;

class ControlObserver {
 public:
  virtual ~ControlObserver() = default;
  virtual void OnControlChanged(Control& control, Property property) = 0;
};

class Control {
 public:
  Control(ControlKind kind, std::string name, Control* container, Twips geometry, int tabIndex,
          std::wstring caption = {});
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  ControlKind Kind() const { return kind_; }
  const std::string& Name() const { return name_; }  // e.g. "Command2", "Option1(2)"
  Control* Container() const { return container_; }
  int TabIndex() const { return tabIndex_; }

  const std::wstring& Caption() const { return caption_; }
  void SetCaption(std::wstring caption);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  bool Value() const { return value_; }  // option buttons: selected
  void SetValue(bool value);
  const Twips& Geometry() const { return geometry_; }

  // The label sizes itself to its caption (done by the window system).
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool autoSize) { autoSize_ = autoSize; }
  // Label1's fixed-pitch font.
  bool FixedPitchFont() const { return fixedFont_; }
  void SetFixedPitchFont(bool fixed) { fixedFont_ = fixed; }

  // Geometry written back by the window system (auto-size) without a notification.
  void StoreMeasuredGeometry(const Twips& geometry) { geometry_ = geometry; }

  void SetObserver(ControlObserver* observer) { observer_ = observer; }

 private:
  void Notify(Property property);

  ControlKind kind_;
  std::string name_;
  Control* container_;
  Twips geometry_;
  int tabIndex_;
  std::wstring caption_;
  bool enabled_ = true;
  bool visible_ = true;
  bool value_ = false;
  bool autoSize_ = false;
  bool fixedFont_ = false;
  ControlObserver* observer_ = nullptr;
};

// A top-level form: its window control, its controls in creation order, and the
// click handler the window system calls.
class Form {
 public:
  virtual ~Form() = default;
  virtual Control& Window() = 0;
  // Every control but the window, containers before their contents.
  virtual std::vector<Control*> Controls() = 0;
  // A click on an enabled, shown control (option buttons: after selecting it).
  virtual void OnClick(Control& control) = 0;
  // The user closed the window through the window system; it is already destroyed.
  virtual void OnClosed() {}
};

// Selects `option`: option buttons in one container form one group, so selecting
// one clears the rest. Only values that change are set.
void SelectOption(Form& form, Control& option);

// The form's controls in tab order; equal tab indexes keep their order.
std::vector<Control*> InTabOrder(Form& form);

// The lines of a caption, which separates them with CR LF.
std::vector<std::wstring> CaptionLines(const std::wstring& caption);

}  // namespace platform
