#include <cstddef>

#include "engine/engine_memory.h"
#include "engine/engine_testing.h"
#include "host/platform.h"

namespace {

// Bookkeeping for the tests and the benchmark: what is held.
struct HeldBlock {
  void* block;
  uint64_t bytes;
};
constexpr int kTrackedBlocks = 16;
HeldBlock heldBlocks[kTrackedBlocks];
int liveBlocks = 0;
uint64_t heldBytes = 0;
uint64_t peakBytes = 0;

void Track(void* block, uint64_t bytes) {
  ++liveBlocks;
  heldBytes += bytes;
  if (heldBytes > peakBytes) peakBytes = heldBytes;
  for (HeldBlock& held : heldBlocks)
    if (held.block == nullptr) {
      held = {block, bytes};
      return;
    }
}

void Untrack(void* block) {
  --liveBlocks;
  for (HeldBlock& held : heldBlocks)
    if (held.block == block) {
      heldBytes -= held.bytes;
      held = {nullptr, 0};
      return;
    }
}

}  // namespace

int LiveEngineBlocks() { return liveBlocks; }

uint64_t PeakEngineBytes() { return peakBytes; }

void ResetPeakEngineBytes() { peakBytes = heldBytes; }

void* AllocateEngineMemory(uint64_t bytes, bool zeroed) {
  // Every byte of a block must stay addressable by a signed pointer difference.
  if (bytes == 0 || bytes > static_cast<uint64_t>(PTRDIFF_MAX)) return nullptr;
  void* block = AllocWorkingBlock(static_cast<size_t>(bytes), zeroed);
  if (block != nullptr) Track(block, bytes);
  return block;
}

void ReleaseEngineMemory(void* block) {
  if (block == nullptr) return;
  Untrack(block);
  FreeWorkingBlock(block);
}
