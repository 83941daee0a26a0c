#include "preview/preview_compose.h"

#include <cmath>
#include <cstring>

#include "host/plot_primes.h"
#include "preview/preview_buffers.h"
#include "preview/preview_geometry.h"

namespace {

int BytesPerSample(const FilterRecord* record) {
  return record->imageMode == plugInModeGray16 || record->imageMode == plugInModeRGB48 ? 2 : 1;
}

int32_t PreviewWidth(const FilterGlobals* globals) { return globals->previewRect.right - globals->previewRect.left; }
int32_t PreviewHeight(const FilterGlobals* globals) { return globals->previewRect.bottom - globals->previewRect.top; }

// The host's buffers hold the whole image only when they answer the
// request the preview made; anything else is not read.
bool HoldsWholeImage(const Rect& rect, const void* data, int32_t rowBytes, const Point& size, size_t pixelBytes) {
  return data != nullptr && rect.top == 0 && rect.left == 0 && rect.bottom == size.v && rect.right == size.h &&
         rowBytes > 0 && static_cast<size_t>(rowBytes) >= static_cast<size_t>(size.h) * pixelBytes;
}

bool CanCompose(const FilterGlobals* globals) {
  const FilterRecord* record = globals->filterRecord;
  if (globals->previewPixels == nullptr || globals->previewMask == nullptr) return false;
  if (PreviewWidth(globals) <= 0 || PreviewHeight(globals) <= 0 || globals->zoom < 1) return false;
  if (record->planes < 1 || record->imageSize.v <= 0 || record->imageSize.h <= 0) return false;
  const size_t pixelBytes = static_cast<size_t>(record->planes) * BytesPerSample(record);
  return HoldsWholeImage(record->inRect, record->inData, record->inRowBytes, record->imageSize, pixelBytes) &&
         HoldsWholeImage(record->outRect, record->outData, record->outRowBytes, record->imageSize, pixelBytes);
}

bool MaskUsable(const FilterRecord* record) {
  return record->haveMask != 0 &&
         HoldsWholeImage(record->maskRect, record->maskData, record->maskRowBytes, record->imageSize, 1);
}

uint16_t Load16(const uint8_t* sample) {
  uint16_t value;
  std::memcpy(&value, sample, sizeof value);
  return value;
}

// The buffers and steps of one composition.
struct ComposeSource {
  const uint8_t* in;
  const uint8_t* src;
  const uint8_t* mask;  // null without a usable selection mask
  size_t inRow, srcRow, maskRow;
  int planes;
  int bytes;
};

void ComposePixel(const ComposeSource& source, const FilterGlobals* globals, int32_t y, int32_t x, uint8_t* pixel,
                  uint8_t* maskByte) {
  const size_t offset = static_cast<size_t>(x) * source.planes * source.bytes;
  const uint8_t* in = source.in + static_cast<size_t>(y) * source.inRow + offset;
  const uint8_t* src = source.src + static_cast<size_t>(y) * source.srcRow + offset;
  const bool haveMask = source.mask != nullptr;
  const uint8_t mask = haveMask ? source.mask[static_cast<size_t>(y) * source.maskRow + x] : 1;
  for (int k = 0; k < source.planes; ++k) {
    pixel[k] = source.bytes == 1 ? PreviewSample8(in[k], src[k], haveMask, mask)
                                 : PreviewSample16(Load16(in + 2 * k), Load16(src + 2 * k), haveMask, mask);
  }
  *maskByte = mask;
  if (globals->hasTransparency != 0) {
    const int32_t columns = globals->filterRecord->imageSize.h;
    pixel[source.planes] = globals->transparencyPlane != nullptr
                               ? globals->transparencyPlane[static_cast<size_t>(y) * columns + x]
                               : 0;
  }
}

OSErr RecomputeVisible(FilterGlobals* globals, const Rect& visible) {
  IntersectRects(&globals->processRect, &visible, &globals->filterRecord->filterRect);
  return PlotPrimes(globals, true);
}

}  // namespace

uint8_t PreviewSample8(uint8_t in, uint8_t src, bool haveMask, uint8_t mask) {
  if (!haveMask) return src;
  const double weight = mask * kMaskWeight;
  return static_cast<uint8_t>((1.0 - weight) * in + weight * src);
}

uint8_t PreviewSample16(uint16_t in, uint16_t src, bool haveMask, uint8_t mask) {
  if (!haveMask) return PreviewSampleFrom16(src);
  const double weight = mask * kMaskWeight;
  const double mixed = (1.0 - weight) * (in >> 7) + weight * (src >> 7);
  const double rounded = std::floor(mixed + 0.5);  // never negative: half away from zero
  return rounded > 255.0 ? 255 : static_cast<uint8_t>(rounded);
}

PreviewPlacement PlacePreviewAxis(int16_t visibleLow, int16_t visibleHigh, int32_t previewSize, int32_t extent,
                                  int32_t zoom) {
  if (visibleHigh - visibleLow > extent) {
    const int32_t count = extent / zoom;
    return {count, (previewSize - count) / 2, 0};
  }
  return {previewSize, 0, visibleLow};
}

int32_t PreviewPixelBytes(const FilterGlobals* globals) {
  return globals->filterRecord->planes + (globals->hasTransparency != 0 ? 1 : 0);
}

OSErr ComposePreview(FilterGlobals* globals, uint8_t recompute) {
  if (!CanCompose(globals)) return noErr;
  Rect visible;
  GetVisibleRect(globals, &visible);
  OSErr plotted = noErr;
  if (recompute != 0) {
    plotted = RecomputeVisible(globals, visible);
    if (plotted != noErr || *globals->result != noErr) recompute = 0;
    // The engine's callbacks may have run the dialog; look again.
    if (!CanCompose(globals)) return plotted;
  }
  const FilterRecord* record = globals->filterRecord;
  const int32_t width = PreviewWidth(globals);
  const int32_t height = PreviewHeight(globals);
  const int32_t zoom = globals->zoom;
  const PreviewPlacement rows = PlacePreviewAxis(visible.top, visible.bottom, height, record->imageSize.v, zoom);
  const PreviewPlacement columns = PlacePreviewAxis(visible.left, visible.right, width, record->imageSize.h, zoom);
  const int32_t pixelBytes = PreviewPixelBytes(globals);
  std::memset(globals->previewPixels, 0, static_cast<size_t>(pixelBytes) * width * height);
  std::memset(globals->previewMask, 0, static_cast<size_t>(width) * height);

  const bool fromOutput = recompute != 0;
  const bool masked = MaskUsable(record);
  ComposeSource source;
  source.in = static_cast<const uint8_t*>(record->inData);
  source.src = static_cast<const uint8_t*>(fromOutput ? record->outData : record->inData);
  source.mask = masked ? static_cast<const uint8_t*>(record->maskData) : nullptr;
  source.inRow = static_cast<size_t>(record->inRowBytes);
  source.srcRow = static_cast<size_t>(fromOutput ? record->outRowBytes : record->inRowBytes);
  source.maskRow = masked ? static_cast<size_t>(record->maskRowBytes) : 0;
  source.planes = record->planes;
  source.bytes = BytesPerSample(record);

  for (int32_t i = 0; i < rows.count; ++i) {
    const int32_t y = rows.sourceStart + zoom * i;
    const int32_t previewRow = rows.start + i;
    if (y < 0 || y >= record->imageSize.v || previewRow < 0 || previewRow >= height) continue;
    for (int32_t j = 0; j < columns.count; ++j) {
      const int32_t x = columns.sourceStart + zoom * j;
      const int32_t previewColumn = columns.start + j;
      if (x < 0 || x >= record->imageSize.h || previewColumn < 0 || previewColumn >= width) continue;
      const size_t index = static_cast<size_t>(previewRow) * width + previewColumn;
      ComposePixel(source, globals, y, x, globals->previewPixels + index * pixelBytes, globals->previewMask + index);
    }
  }
  return plotted;
}

void FillPreviewPixelMap(const FilterGlobals* globals, PreviewPixelMap* pixels) {
  const FilterRecord* record = globals->filterRecord;
  const int32_t width = PreviewWidth(globals);
  const int32_t height = PreviewHeight(globals);
  const int32_t pixelBytes = PreviewPixelBytes(globals);
  PSPixelMap& map = pixels->map;
  std::memset(pixels, 0, sizeof *pixels);
  map.version = 1;
  map.bounds = {0, 0, height, width};
  switch (record->imageMode) {
    case plugInModeGray16: map.imageMode = plugInModeGrayScale; break;
    case plugInModeRGB48: map.imageMode = plugInModeRGBColor; break;
    default: map.imageMode = record->imageMode; break;
  }
  map.rowBytes = pixelBytes * width;
  map.colBytes = pixelBytes;
  map.planeBytes = 1;
  map.baseAddr = globals->previewPixels;
  PSPixelMask& mask = pixels->mask;
  if (record->isFloating != 0) {
    mask.maskData = globals->previewMask;
    mask.rowBytes = width;
    mask.colBytes = 1;
    map.masks = &mask;
  } else if (record->inLayerPlanes != 0 && record->inTransparencyMask != 0) {
    mask.maskData = globals->previewPixels + (pixelBytes - 1);
    mask.rowBytes = pixelBytes * width;
    mask.colBytes = pixelBytes;
    map.masks = &mask;
  }
}
