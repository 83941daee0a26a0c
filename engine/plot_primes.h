// The image operation: numbers every pixel of the processing rectangle and
// paints the primes in the foreground colour, the rest in the background.
#pragma once

#include "host/globals.h"

// Plots over globals->processRect in the host's delivered buffers (inData in,
// outData out, all planes interleaved), with draw and shft from the parameters
// handle. Reports progress through progressProc when `reportProgress` is set
// and polls abortProc every 1000 steps either way.
// Completed: the output holds the plot and the result word is unchanged.
// Cancelled: -128 in the result word, output not written. Memory refused:
// -108, output not written. All working memory is released before returning.
void PlotPrimes(FilterGlobals* globals, bool reportProgress);
