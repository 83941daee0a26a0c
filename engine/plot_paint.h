// Writing the plot into the host's output buffer, once nothing can fail.
#pragma once

#include <cstdint>

#include "engine/plot_geometry.h"
#include "engine/plot_job.h"
#include "engine/prime_wheel.h"

// The two colours as the output receives them, plane by plane.
struct PaintSamples {
  uint16_t foreground[3];
  uint16_t background[3];
};

// Rounds a normalised component the way the host's sample range takes it:
// through a 32-bit float, half away from zero, clamped to 0 .. 255, or to
// 0 .. 32768 for 16-bit images.
PaintSamples SamplesFor(const PlotColor& foreground, const PlotColor& background, int bytesPerSample);

// The rectangle is painted in bands of this many rows (the last one
// shorter), each by one lane, in any order and alongside the others.
constexpr int32_t kBandRows = 256;

inline int32_t PaintBandCount(const PlotGeometry& geometry) { return (geometry.height + kBandRows - 1) / kBandRows; }

// Scratch memory of one painting lane: a staging row, and the spiral's
// marks and side lists for one band, whatever the layout.
uint64_t PaintScratchBytes(const PlotGeometry& geometry);

// Clears the parts of a lane's scratch that painting in `layout` (past the
// cache or not) reads before it writes them (marks and list counts); each
// band leaves them so. Called by the lane itself before its first band: a
// fresh page is first touched by the processor that paints with it, and a
// way of painting that needs no marks never touches theirs.
void PreparePaintScratch(const PlotGeometry& geometry, int16_t layout, bool pastCache, uint8_t* scratch);

// Writes the rows of band `band`: the plot in `layout` (numbers from `shift`,
// primes looked up in `primes`, which covers P + shift numbers), or, for any
// other layout value, the input as it was read. `pastCache`: the output is
// written past the processor's caches, for outputs larger than they are.
void PaintBand(const PlotGeometry& geometry, const PaintSamples& samples, const PrimeTable& primes,
               int16_t layout, uint16_t shift, int32_t band, uint8_t* scratch, bool pastCache);
