#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "host/cpu_cache.h"
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

namespace {

DWORD WINAPI RunWorkerThread(LPVOID parameter) {
  const WorkerThread* thread = static_cast<const WorkerThread*>(parameter);
  thread->entry(thread->context);
  return 0;
}

}  // namespace

bool StartWorkerThread(WorkerThread* thread) {
  // The workers need little stack, and a 32-bit host little of its address
  // space taken: reserve 256 KB, not the host's default.
  thread->system =
      CreateThread(nullptr, 256 * 1024, RunWorkerThread, thread, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  return thread->system != nullptr;
}

void JoinWorkerThread(WorkerThread* thread) {
  WaitForSingleObject(thread->system, INFINITE);
  CloseHandle(thread->system);
  thread->system = nullptr;
}

int ProcessorCount() {
  // A host, or the user, may have bound the process to fewer processors
  // than the machine has.
  DWORD_PTR process = 0, system = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) && process != 0) {
    int count = 0;
    for (; process != 0; process &= process - 1) ++count;
    return count;
  }
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors > 0 ? static_cast<int>(info.dwNumberOfProcessors) : 1;
}

uint32_t WorkerThreadMicroseconds() {
  // Under wine a new thread begins 0.6 to 1.1 ms after it is made in a
  // 64-bit process, 1 to 5 ms in a 32-bit one, and its join takes a few
  // hundred microseconds more (measured on a 2-processor machine); Windows
  // takes a small part of that.
  const HMODULE system = GetModuleHandleW(L"ntdll.dll");
  const bool wine = system != nullptr && GetProcAddress(system, "wine_get_version") != nullptr;
  return wine ? 2000 : 150;
}

uint64_t LastLevelCacheBytes() { return CpuidLastLevelCacheBytes(); }

void YieldToOtherThreads() { Sleep(0); }

bool OpenWakeSignal(WakeSignal* signal) {
  signal->system = CreateEventW(nullptr, TRUE, FALSE, nullptr);  // manual reset: stays raised
  return signal->system != nullptr;
}

void RaiseWakeSignal(WakeSignal* signal) { SetEvent(signal->system); }

void AwaitWakeSignal(WakeSignal* signal) { WaitForSingleObject(signal->system, INFINITE); }

void CloseWakeSignal(WakeSignal* signal) {
  if (signal->system != nullptr) CloseHandle(signal->system);
  signal->system = nullptr;
}

namespace {

bool Readable(DWORD protection) {
  if ((protection & (PAGE_GUARD | PAGE_NOACCESS)) != 0) return false;
  return (protection & (PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                        PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY)) != 0;
}

bool Writable(DWORD protection) {
  if ((protection & (PAGE_GUARD | PAGE_NOACCESS)) != 0) return false;
  return (protection & (PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY)) != 0;
}

// Windows never maps the first 64 KB; anything there is a small number, not an address.
constexpr uintptr_t kLowestAddress = 0x10000;

// What GlobalHandle reads in front of a moveable block's data.
constexpr size_t kGlobalBlockHeader = 2 * sizeof(void*);

}  // namespace

bool MemoryAccessible(const void* address, size_t size, bool writable) {
  uintptr_t at = reinterpret_cast<uintptr_t>(address);
  if (at < kLowestAddress || size == 0 || at + size < at) return false;
  const uintptr_t end = at + size;
  while (at < end) {
    MEMORY_BASIC_INFORMATION region;
    if (VirtualQuery(reinterpret_cast<const void*>(at), &region, sizeof region) != sizeof region) return false;
    if (region.State != MEM_COMMIT) return false;
    if (!(writable ? Writable(region.Protect) : Readable(region.Protect))) return false;
    at = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
  }
  return true;
}

bool CopyIfAccessible(const void* address, void* to, size_t size) {
  if (!MemoryAccessible(address, size, false)) return false;
  std::memcpy(to, address, size);
  return true;
}

size_t GlobalBlockSize(const void* address) {
  const auto* start = static_cast<const char*>(address);
  if (reinterpret_cast<uintptr_t>(address) < kLowestAddress + kGlobalBlockHeader) return 0;
  if (!MemoryAccessible(start - kGlobalBlockHeader, kGlobalBlockHeader + 1, false)) return 0;
  HGLOBAL block = GlobalHandle(address);
  if (block == nullptr) return 0;
  // The block must agree that its data starts exactly here.
  void* data = GlobalLock(block);
  if (data == nullptr) return 0;
  GlobalUnlock(block);
  return data == address ? GlobalSize(block) : 0;
}
