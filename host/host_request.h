// Requests the plug-in makes of the host through the filter record.
#pragma once

#include "host/host_api.h"

// All colour planes interleaved, no down-sampling, areas outside the image
// padded with 255. The rectangles are set by the caller.
void RequestAllPlanes(FilterRecord* record);

// Empties the three request rectangles, which ends the host's loop.
void EmptyRequest(FilterRecord* record);
