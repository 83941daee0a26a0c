// Requests the plug-in makes of the host through the filter record.
#pragma once

#include "host/host_api.h"

// All colour planes interleaved, no down-sampling, areas outside the image
// padded with 255. The rectangles are set by the caller.
void RequestAllPlanes(FilterRecord* record);

// Empties the three request rectangles, which ends the host's loop.
void EmptyRequest(FilterRecord* record);

// True when the rectangle's width and height each fit in a Rect coordinate
// (at most 32767). A rectangle from -32768 to 32767 is 65535 wide: its size
// in buffer coordinates would wrap.
bool SizeFitsRect(const Rect& rect);
