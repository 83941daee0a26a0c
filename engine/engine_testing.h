// Controls of the engine's working memory, for unit tests only.
#pragma once

// The next `allocations` engine blocks succeed, every later one is refused;
// a negative count never refuses.
void RefuseEngineMemoryAfter(int allocations);

// Engine blocks allocated and not yet released.
int LiveEngineBlocks();
