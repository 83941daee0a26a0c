// One plot as plain values: the host's buffers, the rectangle, the colours
// and the callbacks, filled in by the dispatch layer.
#pragma once

#include <cstdint>

#include "host/host_api.h"

// A colour as the engine paints it, each component normalised to 0 .. 1.
struct PlotColor {
  double red;
  double green;
  double blue;
};

// A buffer as the host delivered it.
struct PlotBuffer {
  void* data;
  int32_t rowBytes;
  int32_t columnBytes;  // 0 from hosts of interfaces before 3.0
  Rect bounds;          // inRect or outRect: the buffer's size in pixels
};

struct PlotJob {
  PlotBuffer input;
  PlotBuffer output;
  Rect area;                  // the rectangle plotted, in delivered-buffer coordinates
  int32_t planes;             // planes of the image, all interleaved in both buffers
  bool gray;                  // a gray image: plane 0 is its colour, any others are extra channels
  int32_t bytesPerSample;     // 1, or 2 for Gray16 and RGB48
  PlotColor foreground;       // already scaled for the host
  PlotColor background;
  uint16_t shift;             // added to every number
  const int16_t* layout;      // 0 normal, 1 spiral, else a copy; read once the sieve is done
  ProgressProc progressProc;  // null: no progress reports
  TestAbortProc abortProc;    // null: never aborted
};

enum : int16_t {
  plotLayoutNormal = 0,
  plotLayoutSpiral = 1,
};

// Numbers every pixel of job.area (row by row, or along a clockwise spiral
// from its top-left pixel), adds the shift, and paints the primes in the
// foreground colour, the rest in the background. Planes 1 (gray, or any
// image of one or two planes) or 1..3 (RGB) are painted; the others up to plane 8 are copied from the input
// (16-bit samples capped at 32768); later planes are left alone.
//
// Progress goes to progressProc out of 2P (P the pixel count), and abortProc
// is polled, at every 1000th step of the sieve and of the layout's passes,
// then the output is written and (2P, 2P) reported.
//
// noErr: the output holds the plot (an empty area: nothing at all happens).
// Otherwise nothing has been written: userCanceledErr at a poll, memFullErr
// when working memory is refused, filterBadParameters when the rectangle and
// the buffers do not fit together or there is no layout to read.
OSErr RunPlotJob(const PlotJob& job);
