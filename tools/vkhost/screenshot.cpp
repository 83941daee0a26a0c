// Pictures of the plug-in's dialogs as the screen shows them, for the
// documentation: the window's rectangle is copied from the screen once the
// dialog has painted, then the dialog is closed the way a user would.
#include <windows.h>

#include <cstring>

#include "tools/vkhost/host_internal.h"
#include "tools/vkhost/screenshot.h"

namespace {

constexpr UINT_PTR kCaptureTimer = 0x5643;  // 'VC'
constexpr UINT kPaintDelayMs = 700;

const ScreenshotRequest* pending = nullptr;

bool CaptureRect(const RECT& area, HostImage* image) {
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  if (width <= 0 || height <= 0 || !MakeImage(image, width, height, 3, false, 8)) return false;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = bitmap != nullptr;
  if (ok) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    ok = BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY) != 0;
    GdiFlush();
    const auto* bgra = static_cast<const uint8_t*>(bits);
    for (int y = 0; ok && y < height; ++y)
      for (int x = 0; x < width; ++x)
        for (int c = 0; c < 3; ++c) SetSample(image, x, y, c, bgra[(size_t(y) * width + x) * 4 + (2 - c)]);
    SelectObject(memory, old);
    DeleteObject(bitmap);
  }
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return ok;
}

void CALLBACK CaptureAndClose(HWND window, UINT, UINT_PTR timer, DWORD) {
  KillTimer(window, timer);
  const ScreenshotRequest* request = pending;
  pending = nullptr;
  if (request == nullptr) return;
  RECT area;
  GetWindowRect(window, &area);
  HostImage image;
  std::string error;
  if (!CaptureRect(area, &image) || !WritePng(request->path.c_str(), image, &error)) request->failed = true;
  // OK for the parameter dialog and message boxes; a click for the about box.
  PostMessageA(window, WM_COMMAND, IDOK, 0);
  PostMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
}

}  // namespace

void ScheduleScreenshot(void* window, const ScreenshotRequest* request) {
  if (pending != nullptr) return;  // one picture per run: the first dialog
  pending = request;
  SetTimer(static_cast<HWND>(window), kCaptureTimer, kPaintDelayMs, CaptureAndClose);
}
