// Controls of the engine's working memory, for the tests and the benchmark.
#pragma once

#include <cstdint>

// The next `allocations` engine blocks succeed, every later one is refused;
// a negative count never refuses.
void RefuseEngineMemoryAfter(int allocations);

// Engine blocks allocated and not yet released.
int LiveEngineBlocks();

// The most bytes held at once since the last reset.
uint64_t PeakEngineBytes();
void ResetPeakEngineBytes();
