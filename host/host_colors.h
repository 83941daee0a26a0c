// The host's foreground and background colours as the engine paints them.
#pragma once

#include <cstdint>

#include "engine/plot_job.h"
#include "host/host_api.h"

// Each component of the record's foreground and background, normalised so
// that the top of the host's colour range becomes 1.0: 65535 from an
// ordinary host, 255 from Fireworks, which hands its colours over as 8-bit
// values. `hostApp` is the host's identity (HostApp).
void HostPlotColors(const FilterRecord* record, int32_t hostApp, PlotColor* foreground, PlotColor* background);
