// Native stand-in for the Windows memory and thread services, for the unit
// tests and the benchmark, which count and refuse through it.
#include <pthread.h>
#include <sched.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "host/cpu_cache.h"
#include "host/platform.h"
#include "host/platform_testing.h"

namespace {
int allocationsBeforeRefusal = -1;
uint64_t largestWorkingBlock = 0;
int requests = 0;
int liveLockedBlocks = 0;
int liveWorkingBlocks = 0;
uint64_t heldWorkingBytes = 0;
uint64_t peakWorkingBytes = 0;
int threadsBeforeRefusal = -1;
int threadsStarted = 0;
int processorsReported = 0;
uint64_t cacheReported = 0;
// Linux makes, starts and joins a thread in tens of microseconds: nothing
// worth counting, and the tests then get every lane they ask for however
// small their pictures.
uint32_t workerMicrosecondsReported = 0;
std::map<const void*, size_t> lockedBlockSizes;

bool Granted() {
  ++requests;
  if (allocationsBeforeRefusal == 0) return false;
  if (allocationsBeforeRefusal > 0) --allocationsBeforeRefusal;
  return true;
}

// A working block's size is kept in front of it, a whole alignment unit, so
// that it can be counted off when the block is freed.
constexpr size_t kSizeRoom = alignof(std::max_align_t);
}  // namespace

void RefuseMemoryAfter(int allocations) {
  allocationsBeforeRefusal = allocations;
  requests = 0;
}

void RefuseWorkingBlocksOver(uint64_t bytes) { largestWorkingBlock = bytes; }

int MemoryRequests() { return requests; }

int LiveLockedBlocks() { return liveLockedBlocks; }

int LiveWorkingBlocks() { return liveWorkingBlocks; }

uint64_t PeakWorkingBytes() { return peakWorkingBytes; }

void ResetPeakWorkingBytes() { peakWorkingBytes = heldWorkingBytes; }

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
  if (size == 0 || size > SIZE_MAX - kSizeRoom || !Granted()) return nullptr;
  if (largestWorkingBlock != 0 && size > largestWorkingBlock) return nullptr;
  const size_t total = size + kSizeRoom;
  auto* start = static_cast<unsigned char*>(zeroed ? std::calloc(1, total) : std::malloc(total));
  if (start == nullptr) return nullptr;
  *reinterpret_cast<size_t*>(start) = size;
  ++liveWorkingBlocks;
  heldWorkingBytes += size;
  if (heldWorkingBytes > peakWorkingBytes) peakWorkingBytes = heldWorkingBytes;
  return start + kSizeRoom;
}

void FreeWorkingBlock(void* block) {
  if (block == nullptr) return;
  unsigned char* start = static_cast<unsigned char*>(block) - kSizeRoom;
  --liveWorkingBlocks;
  heldWorkingBytes -= *reinterpret_cast<size_t*>(start);
  std::free(start);
}

void RefuseThreadsAfter(int threads) {
  threadsBeforeRefusal = threads;
  threadsStarted = 0;
}

int WorkerThreadsStarted() { return threadsStarted; }

void ReportProcessors(int count) { processorsReported = count; }

namespace {

void* RunWorkerThread(void* parameter) {
  const WorkerThread* thread = static_cast<const WorkerThread*>(parameter);
  thread->entry(thread->context);
  return nullptr;
}

}  // namespace

bool StartWorkerThread(WorkerThread* thread) {
  if (threadsBeforeRefusal == 0) return false;
  if (threadsBeforeRefusal > 0) --threadsBeforeRefusal;
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) return false;
  // Off this thread's processor, as Windows starts a new thread on an idle
  // one: Linux may queue it behind its maker, however idle the others, until
  // its load balancing moves it a millisecond or more later.
  cpu_set_t set;
  const int current = sched_getcpu();
  if (current >= 0 && sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 1 && CPU_ISSET(current, &set)) {
    CPU_CLR(current, &set);
    pthread_attr_setaffinity_np(&attributes, sizeof set, &set);
  }
  auto* system = new pthread_t;
  const bool started = pthread_create(system, &attributes, RunWorkerThread, thread) == 0;
  pthread_attr_destroy(&attributes);
  if (!started) {
    delete system;
    return false;
  }
  ++threadsStarted;
  thread->system = system;
  return true;
}

void JoinWorkerThread(WorkerThread* thread) {
  auto* system = static_cast<pthread_t*>(thread->system);
  pthread_join(*system, nullptr);
  delete system;
  thread->system = nullptr;
}

int ProcessorCount() {
  if (processorsReported > 0) return processorsReported;
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return CPU_COUNT(&set);
  const unsigned count = std::thread::hardware_concurrency();
  return count > 0 ? static_cast<int>(count) : 1;
}

void ReportWorkerThreadMicroseconds(uint32_t microseconds) { workerMicrosecondsReported = microseconds; }

uint32_t WorkerThreadMicroseconds() { return workerMicrosecondsReported; }

void ReportLastLevelCache(uint64_t bytes) { cacheReported = bytes; }

uint64_t LastLevelCacheBytes() { return cacheReported > 0 ? cacheReported : CpuidLastLevelCacheBytes(); }

void YieldToOtherThreads() { std::this_thread::yield(); }

namespace {

struct NativeWakeSignal {
  std::mutex mutex;
  std::condition_variable raised;
  bool up = false;
};

}  // namespace

bool OpenWakeSignal(WakeSignal* signal) {
  signal->system = new NativeWakeSignal;
  return true;
}

void RaiseWakeSignal(WakeSignal* signal) {
  auto* native = static_cast<NativeWakeSignal*>(signal->system);
  std::lock_guard<std::mutex> hold(native->mutex);
  native->up = true;
  native->raised.notify_all();
}

void AwaitWakeSignal(WakeSignal* signal) {
  auto* native = static_cast<NativeWakeSignal*>(signal->system);
  std::unique_lock<std::mutex> hold(native->mutex);
  native->raised.wait(hold, [native] { return native->up; });
}

void CloseWakeSignal(WakeSignal* signal) {
  delete static_cast<NativeWakeSignal*>(signal->system);
  signal->system = nullptr;
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
