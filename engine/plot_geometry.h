// Where the plotted rectangle lies in the host's interleaved buffers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/plot_job.h"

constexpr int kMaxCopiedPlanes = 8;  // planes from here on are neither read nor written

struct PlotGeometry {
  int32_t width;
  int32_t height;
  int bytesPerSample;     // 1 or 2
  ptrdiff_t pixelBytes;   // step from one pixel to the next: planes x bytesPerSample
  int count;              // planes written: min(planes, 8)
  int colorPlanes;        // planes painted: 1 for grayscale, 3 for RGB
  const uint8_t* input;   // first sample of the rectangle's top-left pixel
  ptrdiff_t inputRowBytes;
  uint8_t* output;
  ptrdiff_t outputRowBytes;
};

// Checks job.area against both buffers in 64-bit arithmetic. Returns
// filterBadParameters, leaving *geometry undefined, when the area is empty,
// the image has no planes or more than a byte's worth of bytes per sample,
// a buffer is missing, or any sample the plot would touch lies outside the
// rows the host delivered (bounds in size, rowBytes apart).
OSErr LocatePlot(const PlotJob& job, PlotGeometry* geometry);

inline uint8_t* OutputPixel(const PlotGeometry& geometry, int32_t row, int32_t column) {
  return geometry.output + row * geometry.outputRowBytes + column * geometry.pixelBytes;
}

inline const uint8_t* InputPixel(const PlotGeometry& geometry, int32_t row, int32_t column) {
  return geometry.input + row * geometry.inputRowBytes + column * geometry.pixelBytes;
}
