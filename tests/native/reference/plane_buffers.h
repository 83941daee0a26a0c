// The reference form of the plot keeps the rectangle as one float array per
// image plane, copied out of the host's interleaved input buffer and back
// into its output buffer. Samples are normalised: 8-bit s as s / 255, 16-bit
// s as s / 32768.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/plot_geometry.h"

constexpr int kMaxPlaneBuffers = kMaxCopiedPlanes;

struct PlaneBuffers {
  float* plane[kMaxPlaneBuffers];  // the first `count` hold P floats each, the rest null
  int count;
  int colorPlanes;
};

// Takes the layout's `count` arrays of width x height floats. Returns
// memFullErr, holding nothing, when any is refused.
OSErr AllocatePlaneBuffers(const PlotGeometry& layout, PlaneBuffers* buffers);

// Gives back every array and empties the slots.
void ReleasePlaneBuffers(PlaneBuffers* buffers);

// Copies the rectangle from the input buffer into the arrays, normalised.
void ReadPlanes(const PlotGeometry& layout, PlaneBuffers* buffers);

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
void WritePlanes(const PlotGeometry& layout, const PlaneBuffers& buffers);
