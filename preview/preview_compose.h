// Composing the preview: the image area in view, taken from the host's
// whole-image buffers into the preview's 8-bit buffers, optionally after the
// engine has plotted the visible part of the filter rectangle.
#pragma once

#include <cstdint>

#include "host/globals.h"

// The weight of a selection-mask byte: the double nearest to 1/255.
constexpr double kMaskWeight = 0.00392156862745098;

// One preview sample from the input sample `in` and the source sample `src`
// (the plot, or the input again), under mask byte `mask` when there is one.
uint8_t PreviewSample8(uint8_t in, uint8_t src, bool haveMask, uint8_t mask);
uint8_t PreviewSample16(uint16_t in, uint16_t src, bool haveMask, uint8_t mask);

// Where the image lands in the preview along one axis.
struct PreviewPlacement {
  int32_t count;        // preview rows (or columns) that show image pixels
  int32_t start;        // first such preview row (or column)
  int32_t sourceStart;  // image row (or column) shown there
};

// `visibleLow`..`visibleHigh` is the visible rectangle along the axis,
// `previewSize` the preview's pixels along it, `extent` the image's.
PreviewPlacement PlacePreviewAxis(int16_t visibleLow, int16_t visibleHigh, int32_t previewSize, int32_t extent,
                                  int32_t zoom);

// Bytes per preview pixel: the host's planes, plus one for transparency.
int32_t PreviewPixelBytes(const FilterGlobals* globals);

// Fills the preview buffers from the host's buffers. With `recompute`, the
// visible part of the filter rectangle is plotted first and shown from the
// output buffer, unless the engine fails now or a failure stands in the
// result word from earlier in the dialog. Does nothing while the buffers are
// missing or the host's buffers do not hold the whole image the preview
// asked for. Returns the engine's result (noErr without a recompute); the
// dialog keeps it in the result word.
OSErr ComposePreview(FilterGlobals* globals, uint8_t recompute);

// What the host's displayPixels is given for the composed preview.
struct PreviewPixelMap {
  PSPixelMap map;
  PSPixelMask mask;
};

// The pixel map over the preview buffer; its mask is the preview mask for a
// floating selection, or the transparency bytes for a layer with
// transparency, and absent otherwise.
void FillPreviewPixelMap(const FilterGlobals* globals, PreviewPixelMap* pixels);
