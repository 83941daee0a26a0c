#include <cstddef>
#include <cstdlib>

#include "engine/engine_memory.h"
#include "engine/engine_testing.h"

namespace {
int allocationsBeforeRefusal = -1;
int liveBlocks = 0;
}  // namespace

void RefuseEngineMemoryAfter(int allocations) { allocationsBeforeRefusal = allocations; }

int LiveEngineBlocks() { return liveBlocks; }

void* AllocateEngineMemory(uint64_t bytes, bool zeroed) {
  // Every byte of a block must stay addressable by a signed pointer difference.
  if (bytes == 0 || bytes > static_cast<uint64_t>(PTRDIFF_MAX)) return nullptr;
  if (allocationsBeforeRefusal == 0) return nullptr;
  if (allocationsBeforeRefusal > 0) --allocationsBeforeRefusal;
  const size_t size = static_cast<size_t>(bytes);
  void* block = zeroed ? std::calloc(1, size) : std::malloc(size);
  if (block != nullptr) ++liveBlocks;
  return block;
}

void ReleaseEngineMemory(void* block) {
  if (block == nullptr) return;
  --liveBlocks;
  std::free(block);
}
