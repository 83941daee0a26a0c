#include <windows.h>

#include <cstdlib>

#include "host/platform.h"

void* AllocLockedBlock(size_t size) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
  if (block == nullptr) return nullptr;
  void* address = GlobalLock(block);
  if (address == nullptr) GlobalFree(block);
  return address;
}

void FreeLockedBlock(void* address) {
  if (address == nullptr) return;
  HGLOBAL block = GlobalHandle(address);
  if (block == nullptr) return;
  GlobalUnlock(block);
  GlobalFree(block);
}

void* AllocWorkingBlock(size_t size, bool zeroed) {
  if (size == 0) return nullptr;
  return zeroed ? std::calloc(1, size) : std::malloc(size);
}

void FreeWorkingBlock(void* block) { std::free(block); }
