// Blocks that end exactly at a page boundary followed by an inaccessible
// page: a plug-in that reads or writes one byte past the end faults at once
// instead of silently using the host's other memory.
#pragma once

#include <cstddef>
#include <cstdint>

struct GuardedBlock {
  void* base = nullptr;     // the VirtualAlloc reservation
  uint8_t* data = nullptr;  // `size` bytes, ending at the guard page
  size_t size = 0;
};

// Zero-filled `size` bytes (size 0 gives a null block). `label` names the
// block in the message printed when something touches the guard page.
// False when the system refuses the memory.
bool AllocGuarded(size_t size, const char* label, GuardedBlock* block);

// Makes the block read-only (true) or writable again (false).
void ProtectGuarded(const GuardedBlock& block, bool readOnly);

void FreeGuarded(GuardedBlock* block);
