// Working memory of one engine run (the prime table and the sieve's
// workspace), taken from the process heap and given back before the run
// returns.
#pragma once

#include <cstdint>

// A block of `bytes` bytes, zero-filled when `zeroed` is set. Null when the
// heap refuses it or when `bytes` is beyond what the address space can hold.
void* AllocateEngineMemory(uint64_t bytes, bool zeroed);

// Gives back a block from AllocateEngineMemory. Null is ignored.
void ReleaseEngineMemory(void* block);
