#include "platform/win32/frame_window.h"

#include "platform/win32/win32_handles.h"

namespace platform::win32 {

LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_NCCALCSIZE: {
      // The border lies outside the client area, so children start inside it.
      RECT* r = reinterpret_cast<RECT*>(lParam);  // rgrc[0] when wParam is TRUE
      const int b = GetSystemMetrics(SM_CXEDGE);  // the etched border's width
      InflateRect(r, -b, -b);
      if (r->right < r->left) r->right = r->left;
      if (r->bottom < r->top) r->bottom = r->top;
      return 0;
    }
    case WM_NCPAINT: {
      UniqueHandle<HDC, DcReleaser> dc(GetWindowDC(window), DcReleaser{window});
      if (dc) {
        RECT r;
        GetWindowRect(window, &r);
        OffsetRect(&r, -r.left, -r.top);
        DrawEdge(dc.get(), &r, EDGE_ETCHED, BF_RECT);
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

}  // namespace platform::win32
