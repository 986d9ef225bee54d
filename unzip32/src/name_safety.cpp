#include "name_safety.h"

#include <algorithm>
#include <array>

namespace uz32 {
namespace {

constexpr size_t kMaxComponentUnits = 255;  // NTFS and FAT limit, in UTF-16 units

char32_t AsciiUpper(char32_t c) { return (c >= U'a' && c <= U'z') ? c - 32 : c; }

bool EqualsIgnoringAsciiCase(std::u32string_view a, std::u32string_view b) {
  return std::ranges::equal(a, b, {}, AsciiUpper, AsciiUpper);
}

// CON, PRN, AUX, NUL, COM1-9, LPT1-9 (and the superscript digits Windows also accepts),
// CONIN$ and CONOUT$: Windows opens the device whatever extension follows.
bool IsDeviceName(std::u32string_view component) {
  std::u32string_view base = component.substr(0, component.find(U'.'));
  while (!base.empty() && base.back() == U' ') base.remove_suffix(1);
  static constexpr std::array<std::u32string_view, 6> kPlain = {U"CON", U"PRN",   U"AUX",
                                                                 U"NUL", U"CONIN$", U"CONOUT$"};
  if (std::ranges::any_of(kPlain, [&](auto name) { return EqualsIgnoringAsciiCase(base, name); })) {
    return true;
  }
  if (base.size() == 4 && (EqualsIgnoringAsciiCase(base.substr(0, 3), U"COM") ||
                           EqualsIgnoringAsciiCase(base.substr(0, 3), U"LPT"))) {
    const char32_t d = base[3];
    return (d >= U'1' && d <= U'9') || d == U'\u00B9' || d == U'\u00B2' || d == U'\u00B3';
  }
  return false;
}

size_t Utf16Units(std::u32string_view s) {
  size_t n = 0;
  for (char32_t c : s) n += c > 0xFFFF ? 2 : 1;
  return n;
}

}  // namespace

std::u32string_view LastComponent(std::u32string_view name) {
  const size_t cut = name.find_last_of(U"/\\");
  return cut == std::u32string_view::npos ? name : name.substr(cut + 1);
}

std::string RefusalReason(std::u32string_view component) {
  if (component.empty()) return "has no file name";
  if (component == U"." || component == U"..") return "names a folder, not a file";
  for (char32_t c : component) {
    if (c < 0x20 || c == 0x7F) return "contains a control character";
    if (c == U':') return "contains ':' (a drive or a stream)";
    if (std::u32string_view(U"<>|\"?*").find(c) != std::u32string_view::npos) {
      return "contains a character that Windows does not allow in file names";
    }
  }
  if (component.back() == U'.' || component.back() == U' ') {
    return "ends with a dot or a space";
  }
  if (IsDeviceName(component)) return "is a Windows device name";
  if (Utf16Units(component) > kMaxComponentUnits) return "is longer than 255 characters";
  if (EqualsIgnoringAsciiCase(component.substr(0, kReservedPrefix.size()), kReservedPrefix)) {
    return "uses the prefix of this library's temporary files";
  }
  return {};
}

}  // namespace uz32
