// Controls of the native memory and thread stand-ins, for unit tests and the
// benchmark only.
#pragma once

#include <cstdint>

// The next `allocations` blocks of either kind (locked or working) succeed,
// every later one is refused; a negative count never refuses.
void RefuseMemoryAfter(int allocations);

// Working blocks larger than `bytes` are refused, as by an address space
// in pieces; 0 refuses none for its size.
void RefuseWorkingBlocksOver(uint64_t bytes);

// Allocations asked for since the last RefuseMemoryAfter, refused ones included.
int MemoryRequests();

// Blocks made and not yet freed.
int LiveLockedBlocks();
int LiveWorkingBlocks();

// The most bytes of working memory held at once since the last reset.
uint64_t PeakWorkingBytes();
void ResetPeakWorkingBytes();

// The next `threads` worker threads start, every later one is refused; a
// negative count never refuses. Also restarts the count of threads started.
void RefuseThreadsAfter(int threads);

// Worker threads started since the last RefuseThreadsAfter.
int WorkerThreadsStarted();

// ProcessorCount answers `count`; 0 goes back to the machine's own count.
void ReportProcessors(int count);

// WorkerThreadMicroseconds answers `microseconds` (at first 0).
void ReportWorkerThreadMicroseconds(uint32_t microseconds);

// LastLevelCacheBytes answers `bytes`; 0 goes back to the processor's own size.
void ReportLastLevelCache(uint64_t bytes);
