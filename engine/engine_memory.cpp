#include "engine/engine_memory.h"

#include <cstddef>

#include "host/platform.h"

void* AllocateEngineMemory(uint64_t bytes, bool zeroed) {
  // Every byte of a block must stay addressable by a signed pointer difference.
  if (bytes == 0 || bytes > static_cast<uint64_t>(PTRDIFF_MAX)) return nullptr;
  return AllocWorkingBlock(static_cast<size_t>(bytes), zeroed);
}

void ReleaseEngineMemory(void* block) { FreeWorkingBlock(block); }
