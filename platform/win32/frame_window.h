// The frame: a plain container without a caption, drawn as an etched rectangle. Its
// inner area (inside the rectangle) is its client area, so the controls it holds are
// placed relative to it, hidden with it and clipped at its inner edge. Clicks and
// colour requests of those controls go on to the top-level window.
#pragma once

#include <windows.h>

namespace platform::win32 {

// Registers the frame's window class (kFrameClassName) for `instance`; true when it is
// registered now or already was.
bool RegisterFrameClass(HINSTANCE instance);

// Width in pixels of the frame's etched border on each side.
int FrameBorderWidth();

}  // namespace platform::win32
