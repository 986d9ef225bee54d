// Twips to pixels, controls placed by their twips, and labels sized by their text.
#include "platform/win32/win32_window_system.h"

#include <algorithm>

namespace platform {

int Win32WindowSystem::ToPixels(int twips) const { return MulDiv(twips, dpi_, 1440); }
int Win32WindowSystem::ToTwips(int pixels) const { return MulDiv(pixels, 1440, dpi_); }

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
  const std::vector<std::wstring> lines = CaptionLines(label.Caption());
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

}  // namespace platform
