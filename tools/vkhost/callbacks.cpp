// The callbacks that report to the host: abort polls, progress and display
// requests. Each one logs what it was given; abort and progress polls can
// pump the thread's window messages, as editors do during a long filter.
#include <algorithm>
#include <chrono>
#include <cstring>

#include "tools/vkhost/host_internal.h"

namespace {

HostSession* currentSession = nullptr;

void Pump(MessagePump pump) {
  if (pump == MessagePump::None) return;
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
    if (pump == MessagePump::One) break;
  }
}

std::vector<uint8_t> CopyRows(const void* base, int32_t rows, int32_t rowBytes) {
  if (base == nullptr || rows <= 0 || rowBytes <= 0 || rows > 4096 || rowBytes > (1 << 20)) return {};
  const auto* bytes = static_cast<const uint8_t*>(base);
  return std::vector<uint8_t>(bytes, bytes + size_t(rows) * rowBytes);
}

// One byte per pixel, read with the mask's own steps.
std::vector<uint8_t> CopyMask(const PSPixelMask& mask, int32_t rows, int32_t columns) {
  if (mask.maskData == nullptr || rows <= 0 || columns <= 0 || rows > 4096 || columns > 4096) return {};
  std::vector<uint8_t> bytes(size_t(rows) * columns);
  const auto* base = static_cast<const uint8_t*>(mask.maskData);
  for (int32_t y = 0; y < rows; ++y)
    for (int32_t x = 0; x < columns; ++x) bytes[size_t(y) * columns + x] = base[size_t(y) * mask.rowBytes + size_t(x) * mask.colBytes];
  return bytes;
}

// Draws an 8-bit gray or RGB map (any column step) into the device context.
void Draw(const PSPixelMap& map, int32_t dstRow, int32_t dstCol, HDC context) {
  const int32_t width = map.bounds.right - map.bounds.left;
  const int32_t height = map.bounds.bottom - map.bounds.top;
  if (context == nullptr || map.baseAddr == nullptr || width <= 0 || height <= 0 || width > 4096 || height > 4096)
    return;
  const bool gray = map.imageMode == plugInModeGrayScale;
  std::vector<uint32_t> bgra(size_t(width) * height);
  const auto* base = static_cast<const uint8_t*>(map.baseAddr);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const uint8_t* pixel = base + size_t(y) * map.rowBytes + size_t(x) * map.colBytes;
      const uint8_t r = pixel[0];
      const uint8_t g = gray ? pixel[0] : pixel[map.planeBytes];
      const uint8_t b = gray ? pixel[0] : pixel[2 * map.planeBytes];
      bgra[size_t(y) * width + x] = uint32_t(b) | uint32_t(g) << 8 | uint32_t(r) << 16;
    }
  }
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  SetDIBitsToDevice(context, dstCol, dstRow, width, height, 0, 0, 0, height, bgra.data(), &info, DIB_RGB_COLORS);
}

}  // namespace

HostSession* CurrentSession() { return currentSession; }

void SetCurrentSession(HostSession* session) { currentSession = session; }

Boolean PI_CALL HostAbortProc() {
  HostSession* session = CurrentSession();
  if (session == nullptr) return 0;
  int32_t poll = ++session->log.abortPolls;
  if (session->options.pollHook != nullptr) session->options.pollHook(poll, session->options.pollContext);
  Pump(session->options.pump);
  if (Interrupted() || InterlockedCompareExchange(&session->internals->abortRequested, 0, 0) != 0) return 1;
  const int32_t abortAt = session->options.abortAtPoll;
  return abortAt > 0 && poll >= abortAt ? 1 : 0;
}

void PI_CALL HostProgressProc(int32_t done, int32_t total) {
  HostSession* session = CurrentSession();
  if (session == nullptr) return;
  session->log.progress.push_back({done, total});
  if (session->options.progressHook != nullptr) {
    const auto start = std::chrono::steady_clock::now();
    session->options.progressHook(done, total, session->options.progressContext);
    const std::chrono::duration<double> drawing = std::chrono::steady_clock::now() - start;
    session->internals->hostSeconds += drawing.count();
  }
  Pump(session->options.pump);
}

OSErr PI_CALL HostDisplayPixels(const PSPixelMap* source, const VRect* srcRect, int32_t dstRow, int32_t dstCol,
                                void* platformContext) {
  HostSession* session = CurrentSession();
  if (session != nullptr) ++session->log.displayPixelsCalls;
  if (source == nullptr || srcRect == nullptr || platformContext == nullptr || source->baseAddr == nullptr ||
      source->rowBytes == 0)
    return filterBadParameters;
  if (session != nullptr) {
    DisplayCall call = {};
    call.map = *source;
    call.srcRect = *srcRect;
    call.dstRow = dstRow;
    call.dstCol = dstCol;
    call.hasContext = true;
    const int32_t rows = source->bounds.bottom - source->bounds.top;
    call.pixels = CopyRows(source->baseAddr, rows, source->rowBytes);
    if (source->version >= 1 && source->masks != nullptr) {
      call.hasMask = true;
      call.mask = *source->masks;
      call.maskBytes = CopyMask(call.mask, rows, source->bounds.right - source->bounds.left);
    }
    session->log.displays.push_back(std::move(call));
    if (session->options.displayDrawsNothing) return noErr;
  }
  Draw(*source, dstRow, dstCol, static_cast<HDC>(platformContext));
  return noErr;
}
