// Window classes and control identifiers of the wizard window. The window system
// gives each control of the form this identifier, and the UI driver that tests the
// real program addresses controls by it, so both read this one table.
#pragma once

#include <string_view>

namespace platform::win32 {

inline constexpr wchar_t kFormClassName[] = L"VeloranUpdateForm";
inline constexpr wchar_t kFrameClassName[] = L"VeloranUpdateFrame";

struct ControlIdEntry {
  std::string_view name;  // the control's name in the form
  int id;
};

// Identifiers above IDOK/IDCANCEL and the other dialog answers, so that the Enter and
// Escape keys, which the dialog manager reports as IDOK and IDCANCEL, never reach a
// control's click.
inline constexpr ControlIdEntry kControlIds[] = {
    {"Command1", 101},   {"Command2", 102},   {"Command3", 103},
    {"Option1(0)", 110}, {"Option1(1)", 111}, {"Option1(2)", 112},
    {"Label1", 120},     {"Frame1", 130},     {"Frame2", 131},
};

// Controls without an entry get identifiers from here on, in creation order.
inline constexpr int kFirstFreeControlId = 200;

// The identifier of the control named `name`; 0 when the table has none.
constexpr int ControlIdForName(std::string_view name) {
  for (const ControlIdEntry& e : kControlIds) {
    if (e.name == name) return e.id;
  }
  return 0;
}

}  // namespace platform::win32

namespace platform::win32 {

// The executable's icon resource (the first icon, which the shell shows too).
inline constexpr int kAppIconResourceId = 1;

}  // namespace platform::win32
