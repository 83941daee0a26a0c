#include "tools/vkhost/guarded_memory.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

struct GuardPage {
  uintptr_t start;
  const char* label;
};

std::vector<GuardPage> guardPages;
bool handlerInstalled = false;

size_t PageSize() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwPageSize;
}

// Names the block when a fault lands on one of our guard pages; the fault
// itself still ends the process, as it would in a real host.
LONG CALLBACK ReportGuardFault(EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
  if (record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION || record->NumberParameters < 2)
    return EXCEPTION_CONTINUE_SEARCH;
  uintptr_t address = record->ExceptionInformation[1];
  size_t page = PageSize();
  for (const GuardPage& guard : guardPages) {
    if (address >= guard.start && address < guard.start + page) {
      // %p: an address does not fit an unsigned long in a 64-bit host.
      std::fprintf(stderr, "host: %s at %p, %lu bytes past the end of the %s\n",
                   record->ExceptionInformation[0] != 0 ? "write" : "read",
                   reinterpret_cast<void*>(address),
                   static_cast<unsigned long>(address - guard.start), guard.label);
      std::fflush(stderr);
    }
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

void ForgetGuardPage(uintptr_t start) {
  for (size_t i = 0; i < guardPages.size(); ++i) {
    if (guardPages[i].start == start) {
      guardPages.erase(guardPages.begin() + static_cast<std::ptrdiff_t>(i));
      return;
    }
  }
}

}  // namespace

bool AllocGuarded(size_t size, const char* label, GuardedBlock* block) {
  *block = GuardedBlock();
  if (size == 0) return true;
  if (!handlerInstalled) {
    AddVectoredExceptionHandler(1, ReportGuardFault);
    handlerInstalled = true;
  }
  size_t page = PageSize();
  size_t dataPages = (size + page - 1) / page;
  uint8_t* base = static_cast<uint8_t*>(
      VirtualAlloc(nullptr, (dataPages + 1) * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  if (base == nullptr) return false;
  DWORD old = 0;
  VirtualProtect(base + dataPages * page, page, PAGE_NOACCESS, &old);
  guardPages.push_back({reinterpret_cast<uintptr_t>(base + dataPages * page), label});
  block->base = base;
  block->data = base + dataPages * page - size;
  block->size = size;
  return true;
}

void ProtectGuarded(const GuardedBlock& block, bool readOnly) {
  if (block.base == nullptr) return;
  DWORD old = 0;
  VirtualProtect(block.data, block.size, readOnly ? PAGE_READONLY : PAGE_READWRITE, &old);
}

void FreeGuarded(GuardedBlock* block) {
  if (block->base != nullptr) {
    ForgetGuardPage(reinterpret_cast<uintptr_t>(block->data + block->size));
    VirtualFree(block->base, 0, MEM_RELEASE);
  }
  *block = GuardedBlock();
}
