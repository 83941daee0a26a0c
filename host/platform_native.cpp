// Native stand-in for the Windows memory services, for the unit tests.
#include <cstdlib>

#include "host/platform.h"
#include "host/platform_testing.h"

namespace {
int allocationsBeforeRefusal = -1;
int requests = 0;
int liveLockedBlocks = 0;
int liveWorkingBlocks = 0;

bool Granted() {
  ++requests;
  if (allocationsBeforeRefusal == 0) return false;
  if (allocationsBeforeRefusal > 0) --allocationsBeforeRefusal;
  return true;
}
}  // namespace

void RefuseMemoryAfter(int allocations) {
  allocationsBeforeRefusal = allocations;
  requests = 0;
}

int MemoryRequests() { return requests; }

int LiveLockedBlocks() { return liveLockedBlocks; }

int LiveWorkingBlocks() { return liveWorkingBlocks; }

void* AllocLockedBlock(size_t size) {
  if (!Granted()) return nullptr;
  void* address = std::calloc(1, size == 0 ? 1 : size);
  if (address != nullptr) ++liveLockedBlocks;
  return address;
}

void FreeLockedBlock(void* address) {
  if (address == nullptr) return;
  --liveLockedBlocks;
  std::free(address);
}

void* AllocWorkingBlock(size_t size, bool zeroed) {
  if (size == 0 || !Granted()) return nullptr;
  void* block = zeroed ? std::calloc(1, size) : std::malloc(size);
  if (block != nullptr) ++liveWorkingBlocks;
  return block;
}

void FreeWorkingBlock(void* block) {
  if (block == nullptr) return;
  --liveWorkingBlocks;
  std::free(block);
}
