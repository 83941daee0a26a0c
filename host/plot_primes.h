// The image operation as the selector dispatch and the dialog's preview
// call it: the host's record and the globals turned into a plot job.
#pragma once

#include "host/globals.h"

// Plots over globals->processRect in the host's delivered buffers (inData in,
// outData out, all planes interleaved), with draw and shft from the parameters
// handle. Reports progress through progressProc when `reportProgress` is set
// and polls abortProc every 1000 steps either way.
// Completed: the output holds the plot; noErr.
// An empty rectangle: nothing happens at all; noErr.
// Otherwise the output is not written, all working memory is released, and
// the result says why: -128 cancelled, -108 memory refused, -30100 the
// rectangle or the buffers do not fit together (or no parameters block).
// The host's result word is left to the caller.
OSErr PlotPrimes(FilterGlobals* globals, bool reportProgress);
