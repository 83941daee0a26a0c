// The plot in its first, straightforward form, kept as the reference that
// the engine is checked against: float planes read from the input, a byte
// per number for the sieve, a grid walked for the spiral, the planes
// written back at the end. Same contract as RunPlotJob.
#pragma once

#include "engine/plot_job.h"

OSErr ReferencePlot(const PlotJob& job);
