#include "preview/preview_window.h"

#include "preview/preview_compose.h"
#include "preview/preview_geometry.h"

int32_t previewBusy = 0;

namespace {

WNDPROC previewOldWndProc = nullptr;
FilterGlobals* previewGlobals = nullptr;
HCURSOR previewCursor = nullptr;
int32_t previewDragging = 0;
uint32_t dragLastX = 0;
uint32_t dragLastY = 0;
// Refreshes under way: a drag move handled inside the engine's callbacks
// refreshes inside the running one, and must not end its busy state.
int32_t refreshDepth = 0;

// `window`'s rectangle in the client coordinates of `reference`.
RECT WindowRectIn(HWND window, HWND reference) {
  RECT area = {0, 0, 0, 0};
  GetWindowRect(window, &area);
  POINT topLeft = {area.left, area.top};
  POINT bottomRight = {area.right, area.bottom};
  ScreenToClient(reference, &topLeft);
  ScreenToClient(reference, &bottomRight);
  return {topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
}

RECT ControlClientRect(HWND control) { return WindowRectIn(control, control); }

void PostUntilQueued(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  while (!PostMessageA(window, message, wParam, lParam)) Sleep(0);
}

void OnButtonDown(HWND control, LPARAM lParam) {
  SetCursor(previewCursor);
  PostAbortRequest(GetParent(control));
  SetCapture(control);
  dragLastY = HIWORD(lParam);
  previewDragging = 1;
  dragLastX = LOWORD(lParam);
}

void OnMouseMove(HWND control, LPARAM lParam) {
  SetCursor(previewCursor);
  if (previewDragging != 1 || previewGlobals == nullptr) return;
  const uint32_t x = LOWORD(lParam);
  const uint32_t y = HIWORD(lParam);
  ScrollPreview(previewGlobals, static_cast<int16_t>(x - dragLastX), static_cast<int16_t>(y - dragLastY));
  dragLastX = x;
  dragLastY = y;
  RefreshPreview(control, previewGlobals, 0);
}

}  // namespace

void GetPreviewRect(HWND dialog, int controlId, Rect* rect) {
  const RECT area = WindowRectIn(GetDlgItem(dialog, controlId), dialog);
  rect->top = static_cast<int16_t>(area.top);
  rect->left = static_cast<int16_t>(area.left);
  rect->bottom = static_cast<int16_t>(area.bottom);
  rect->right = static_cast<int16_t>(area.right);
}

void SubclassPreview(HWND dialog, int controlId, WPARAM wParam, LPARAM lParam) {
  HWND control = GetDlgItem(dialog, controlId);
  if (control == nullptr) return;
  previewOldWndProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(control, GWLP_WNDPROC));
  SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PreviewWndProc));
  SendMessageA(control, WM_PREVIEW_INIT, wParam, lParam);
}

OSErr RefreshPreview(HWND control, FilterGlobals* globals, WPARAM recompute) {
  ++refreshDepth;
  previewBusy = 1;
  const OSErr result = ComposePreview(globals, static_cast<uint8_t>(recompute & 0xFF));
  RECT area = ControlClientRect(control);
  InvalidateRect(control, &area, FALSE);
  if (--refreshDepth == 0) previewBusy = 0;
  return result;
}

void PostRefreshRequest(HWND window, WPARAM flag) { PostUntilQueued(window, WM_PREVIEW_REFRESH, flag, 0); }

void PostAbortRequest(HWND dialog) { PostUntilQueued(dialog, WM_PREVIEW_ABORT, 0, 0); }

void PaintPreview(HWND control, const FilterGlobals* globals) {
  PAINTSTRUCT paint;
  HDC context = BeginPaint(control, &paint);
  const FilterRecord* record = globals != nullptr ? globals->filterRecord : nullptr;
  // Nothing composed, or a host that cannot draw: the control stays as it is.
  if (record != nullptr && record->displayPixels != nullptr && globals->previewPixels != nullptr &&
      globals->previewMask != nullptr) {
    const RECT area = ControlClientRect(control);
    PreviewPixelMap pixels;
    FillPreviewPixelMap(globals, &pixels);
    record->displayPixels(&pixels.map, &pixels.map.bounds, area.top, area.left, context);
  }
  EndPaint(control, &paint);
}

LRESULT CALLBACK PreviewWndProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: PaintPreview(control, previewGlobals); return 1;
    case WM_SETCURSOR: SetCursor(previewCursor); return 1;
    case WM_MOUSEMOVE: OnMouseMove(control, lParam); return 1;
    case WM_LBUTTONDOWN: OnButtonDown(control, lParam); return 1;
    case WM_LBUTTONUP:
      ReleaseCapture();
      previewDragging = 0;
      PostRefreshRequest(GetParent(control), 1);
      return 1;
    case WM_PREVIEW_INIT:
      previewCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_SIZEALL));
      previewGlobals = reinterpret_cast<FilterGlobals*>(lParam);
      return 1;
    default: return CallWindowProcA(previewOldWndProc, control, message, wParam, lParam);
  }
}
