#include "preview/preview_buffers.h"

#include <cstring>

#include "host/handles.h"
#include "host/host_request.h"
#include "host/platform.h"

namespace {

size_t Extent(int32_t value) { return value > 0 ? static_cast<size_t>(value) : 0; }

size_t PreviewPixelCount(const FilterGlobals* globals) {
  const Rect& preview = globals->previewRect;
  return Extent(preview.bottom - preview.top) * Extent(preview.right - preview.left);
}

size_t ImagePixelCount(const FilterRecord* record) {
  return Extent(record->imageSize.v) * Extent(record->imageSize.h);
}

// Zeroed, so that a preview shown before its first composition is black.
void* Allocate(size_t bytes) { return AllocWorkingBlock(bytes, true); }

int BytesPerSample(const FilterRecord* record) {
  return record->imageMode == plugInModeGray16 || record->imageMode == plugInModeRGB48 ? 2 : 1;
}

// The transparency plane arrived as the plane after the colour planes; keep
// one byte of it per image pixel. Only from a buffer that holds the request.
void CopyTransparency(FilterGlobals* globals) {
  const FilterRecord* record = globals->filterRecord;
  const size_t rows = Extent(record->imageSize.v);
  const size_t columns = Extent(record->imageSize.h);
  const int bytes = BytesPerSample(record);
  const size_t pixelBytes = static_cast<size_t>(record->planes) * bytes;
  const size_t sampleOffset = static_cast<size_t>(record->planes - 1) * bytes;
  const Rect& in = record->inRect;
  const bool delivered = record->inData != nullptr && in.top == 0 && in.left == 0 &&
                         static_cast<size_t>(in.bottom) == rows && static_cast<size_t>(in.right) == columns &&
                         record->inRowBytes > 0 && static_cast<size_t>(record->inRowBytes) >= columns * pixelBytes;
  if (!delivered) {
    std::memset(globals->transparencyPlane, 0, rows * columns);
    return;
  }
  const auto* base = static_cast<const uint8_t*>(record->inData);
  for (size_t y = 0; y < rows; ++y) {
    const uint8_t* sample = base + y * static_cast<size_t>(record->inRowBytes) + sampleOffset;
    uint8_t* copy = globals->transparencyPlane + y * columns;
    for (size_t x = 0; x < columns; ++x, sample += pixelBytes) {
      if (bytes == 1) {
        copy[x] = *sample;
      } else {
        uint16_t wide;
        std::memcpy(&wide, sample, sizeof wide);
        copy[x] = PreviewSampleFrom16(wide);
      }
    }
  }
}

void FetchTransparency(FilterGlobals* globals) {
  FilterRecord* record = globals->filterRecord;
  record->planes = static_cast<int16_t>(record->planes + 1);
  record->inHiPlane = static_cast<int16_t>(record->planes - 1);
  const OSErr delivered = record->advanceState();
  // A failed request delivers nothing that may be read.
  if (globals->transparencyPlane != nullptr) {
    if (delivered == noErr) {
      CopyTransparency(globals);
    } else {
      std::memset(globals->transparencyPlane, 0, ImagePixelCount(record));
    }
  }
  record->planes = static_cast<int16_t>(record->planes - 1);
  record->inHiPlane = static_cast<int16_t>(record->planes - 1);
}

}  // namespace

void AllocPreviewBuffers(FilterGlobals* globals) {
  const FilterRecord* record = globals->filterRecord;
  const size_t previewPixels = PreviewPixelCount(globals);
  if (globals->previewPixels == nullptr) {
    const size_t bytesPerPixel = Extent(record->planes + 1);
    globals->previewPixels = static_cast<uint8_t*>(Allocate(bytesPerPixel * previewPixels));
  }
  if (globals->previewMask == nullptr) globals->previewMask = static_cast<uint8_t*>(Allocate(previewPixels));
  if (globals->hasTransparency != 0 && globals->transparencyPlane == nullptr)
    globals->transparencyPlane = static_cast<uint8_t*>(Allocate(ImagePixelCount(record)));
}

void FreePreviewBuffers(FilterGlobals* globals) {
  FreeWorkingBlock(globals->previewPixels);
  FreeWorkingBlock(globals->previewMask);
  FreeWorkingBlock(globals->transparencyPlane);
  globals->previewPixels = nullptr;
  globals->previewMask = nullptr;
  globals->transparencyPlane = nullptr;
}

int16_t InitPreview(FilterGlobals* globals) {
  FilterRecord* record = globals->filterRecord;
  const Point size = record->imageSize;
  SetHostRect(&record->inRect, 0, 0, size.h, size.v);
  SetHostRect(&record->outRect, 0, 0, size.h, size.v);
  SetHostRect(&record->maskRect, 0, 0, size.h, size.v);
  const Rect& filter = record->filterRect;
  globals->centerV = static_cast<int16_t>(filter.top + (filter.bottom - filter.top) / 2);
  globals->centerH = static_cast<int16_t>(filter.left + (filter.right - filter.left) / 2);
  globals->zoom = 1;
  RequestAllPlanes(record);
  if (globals->hasTransparency != 0) FetchTransparency(globals);
  return record->advanceState();
}
