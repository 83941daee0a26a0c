// Native stand-in for the Windows memory services, for the unit tests.
#include <cstdlib>

#include "host/platform.h"
#include "host/platform_testing.h"

namespace {
int allocationsBeforeRefusal = -1;
int liveBlocks = 0;
}  // namespace

void RefuseMemoryAfter(int allocations) { allocationsBeforeRefusal = allocations; }

int LiveLockedBlocks() { return liveBlocks; }

void* AllocLockedBlock(size_t size) {
  if (allocationsBeforeRefusal == 0) return nullptr;
  if (allocationsBeforeRefusal > 0) --allocationsBeforeRefusal;
  void* address = std::calloc(1, size == 0 ? 1 : size);
  if (address != nullptr) ++liveBlocks;
  return address;
}

void FreeLockedBlock(void* address) {
  if (address == nullptr) return;
  --liveBlocks;
  std::free(address);
}
