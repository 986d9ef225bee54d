// The frame: a plain container without a caption, drawn as an etched rectangle. Its
// inner area (inside the rectangle) is its client area, so the controls it holds are
// placed relative to it, hidden with it and clipped at its inner edge. Clicks and
// colour requests of those controls go on to the top-level window.
#pragma once

#include <windows.h>

namespace platform::win32 {

// The window procedure of the frame's class (kFrameClassName).
LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace platform::win32
