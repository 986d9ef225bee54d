#include "platform/win32/frame_window.h"

#include "platform/win32/control_ids.h"

namespace platform::win32 {

namespace {

LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_NCCALCSIZE: {
      // The border lies outside the client area, so children start inside it.
      RECT* r = reinterpret_cast<RECT*>(lParam);  // rgrc[0] when wParam is TRUE
      const int b = FrameBorderWidth();
      InflateRect(r, -b, -b);
      if (r->right < r->left) r->right = r->left;
      if (r->bottom < r->top) r->bottom = r->top;
      return 0;
    }
    case WM_NCPAINT: {
      HDC dc = GetWindowDC(window);
      if (dc) {
        RECT r;
        GetWindowRect(window, &r);
        OffsetRect(&r, -r.left, -r.top);
        DrawEdge(dc, &r, EDGE_ETCHED, BF_RECT);
        ReleaseDC(window, dc);
      }
      return 0;
    }
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORDLG: {
      HWND top = GetAncestor(window, GA_ROOT);
      if (top && top != window) return SendMessageW(top, message, wParam, lParam);
      break;
    }
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int FrameBorderWidth() { return GetSystemMetrics(SM_CXEDGE); }

bool RegisterFrameClass(HINSTANCE instance) {
  WNDCLASSEXW wc{};
  if (GetClassInfoExW(instance, kFrameClassName, &wc)) return true;
  wc = WNDCLASSEXW{};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = FrameProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  wc.lpszClassName = kFrameClassName;
  return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace platform::win32
