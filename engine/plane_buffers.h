// The processing rectangle held as one float array per image plane, copied
// out of the host's interleaved input buffer and back into its output buffer.
// Samples are normalised: 8-bit s as s / 255, 16-bit s as s / 32768.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/globals.h"
#include "host/host_api.h"

constexpr int kMaxPlaneBuffers = 8;

// A colour as the engine paints it, each component normalised to 0 .. 1.
struct PlotColor {
  double red;
  double green;
  double blue;
};

// One of the host's interleaved buffers, seen from the processing rectangle.
struct HostPixels {
  uint8_t* origin;     // first sample of the rectangle's top-left pixel
  ptrdiff_t rowBytes;
};

// Where and how the processing rectangle lies in the host's buffers; taken
// once per run, so that both copies address the same, checked, bytes.
struct PlaneLayout {
  int32_t width;
  int32_t height;
  int bytesPerSample;    // 1, or 2 for Gray16 and RGB48
  ptrdiff_t pixelBytes;  // step from one pixel to the next: planes x bytesPerSample
  int count;             // planes copied: min(planes, 8)
  int colorPlanes;       // planes painted: 1 for grayscale, 3 for RGB
  HostPixels input;
  HostPixels output;
};

// Describes globals->processRect in the host's current buffers.
// Returns filterBadParameters, leaving *layout undefined, when the
// rectangle is empty, the image has no planes, a buffer is missing, or the
// rectangle or its rows would reach outside the buffers the host delivered
// (inRect and outRect in size, inRowBytes and outRowBytes apart).
OSErr DescribePlanes(const FilterGlobals* globals, PlaneLayout* layout);

struct PlaneBuffers {
  float* plane[kMaxPlaneBuffers];  // the first `count` hold P floats each, the rest null
  int count;
  int colorPlanes;
};

// Takes the layout's `count` arrays of width x height floats. Returns
// memFullErr, holding nothing, when any is refused.
OSErr AllocatePlaneBuffers(const PlaneLayout& layout, PlaneBuffers* buffers);

// Gives back every array and empties the slots.
void ReleasePlaneBuffers(PlaneBuffers* buffers);

// Copies the rectangle from the input buffer into the arrays, normalised.
void ReadPlanes(const PlaneLayout& layout, PlaneBuffers* buffers);

// Stores `color` at pixel `index` (row-major over the rectangle): red into
// plane 0 and, for colour images, green and blue into planes 1 and 2. Every
// other plane (transparency, extra channels) keeps what was read.
inline void StorePixelColor(PlaneBuffers* buffers, size_t index, const PlotColor& color) {
  buffers->plane[0][index] = static_cast<float>(color.red);
  if (buffers->colorPlanes < 3) return;
  buffers->plane[1][index] = static_cast<float>(color.green);
  buffers->plane[2][index] = static_cast<float>(color.blue);
}

// Writes the arrays over the rectangle of the output buffer, rounding half
// away from zero and clamping to 0 .. 255, or 0 .. 32768 for 16-bit images.
void WritePlanes(const PlaneLayout& layout, const PlaneBuffers& buffers);
