// Native stand-in for the Windows memory services, for the unit tests.
#include <cstdlib>
#include <cstring>
#include <map>

#include "host/platform.h"
#include "host/platform_testing.h"

namespace {
int allocationsBeforeRefusal = -1;
int requests = 0;
int liveLockedBlocks = 0;
int liveWorkingBlocks = 0;
std::map<const void*, size_t> lockedBlockSizes;

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
  if (address == nullptr) return nullptr;
  ++liveLockedBlocks;
  lockedBlockSizes[address] = size;
  return address;
}

void FreeLockedBlock(void* address) {
  if (address == nullptr) return;
  --liveLockedBlocks;
  lockedBlockSizes.erase(address);
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

// Natively every address a test hands in is real memory.
bool MemoryAccessible(const void* address, size_t size, bool /*writable*/) {
  return address != nullptr && size > 0;
}

// Only the stand-in's own blocks are known here; a test's host memory is
// never read beyond what it hands in.
bool CopyIfAccessible(const void* address, void* to, size_t size) {
  const auto* at = static_cast<const char*>(address);
  auto block = lockedBlockSizes.upper_bound(address);
  if (block == lockedBlockSizes.begin()) return false;
  --block;
  const auto* start = static_cast<const char*>(block->first);
  if (at < start || at + size > start + block->second) return false;
  std::memcpy(to, address, size);
  return true;
}

size_t GlobalBlockSize(const void* address) {
  auto block = lockedBlockSizes.find(address);
  return block != lockedBlockSizes.end() ? block->second : 0;
}
