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

void YieldToOtherThreads() { Sleep(0); }
