// Controls of the native memory stand-in, for unit tests only.
#pragma once

// The next `allocations` blocks of either kind (locked or working) succeed,
// every later one is refused; a negative count never refuses.
void RefuseMemoryAfter(int allocations);

// Allocations asked for since the last RefuseMemoryAfter, refused ones included.
int MemoryRequests();

// Blocks made and not yet freed.
int LiveLockedBlocks();
int LiveWorkingBlocks();
