// The few operating-system services the host-interface code needs, so that
// the dispatch and handle logic also builds and runs natively in unit tests.
#pragma once

#include <cstddef>
#include <cstdint>

// A zero-filled block of moveable global memory, locked for its whole life.
// Returns its address, or null when the system refuses the memory.
void* AllocLockedBlock(size_t size);

// Unlocks and frees a block made by AllocLockedBlock. Null is ignored.
void FreeLockedBlock(void* address);
