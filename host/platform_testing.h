// Controls of the native memory stand-in, for unit tests only.
#pragma once

// The next `allocations` blocks succeed, every later one is refused;
// a negative count never refuses.
void RefuseMemoryAfter(int allocations);

// Blocks made and not yet freed.
int LiveLockedBlocks();
