// The reference form's numbering of a rectangle: a walk along a clockwise
// spiral from its top-left pixel over a grid of visited pixels.
#pragma once

#include <cstdint>

#include "engine/plot_progress.h"
#include "host/host_api.h"

// Walks the `width` x `height` grid (row-major, one entry per pixel, all 0 on
// entry, owned by the caller) clockwise from the top-left pixel, turning
// where the next pixel is outside or already numbered, and stores k + shift
// in the k-th pixel visited. At each k that is a multiple of 1000 it reports
// (P + k/2, 2P) and polls the host first.
// Returns noErr with every entry numbered, or userCanceledErr part way.
// width * height + shift must stay below 2^31.
OSErr WalkSpiral(int32_t* grid, int32_t width, int32_t height, uint16_t shift,
                 const PlotProgress& progress);
