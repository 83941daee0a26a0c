// Controls of the engine's working memory, for the tests and the benchmark.
#pragma once

#include <cstdint>

// Refusals go through the platform's seam (host/platform_testing.h).

// Engine blocks allocated and not yet released.
int LiveEngineBlocks();

// The most bytes held at once since the last reset.
uint64_t PeakEngineBytes();
void ResetPeakEngineBytes();
