#include "engine/plot_primes.h"

void PlotPrimes(FilterGlobals* /*globals*/, bool /*reportProgress*/) {}
