// The few operating-system services the host-interface code needs, so that
// the dispatch and handle logic also builds and runs natively in unit tests.
// Every allocation the plug-in makes goes through here.
#pragma once

#include <cstddef>
#include <cstdint>

// A zero-filled block of moveable global memory, locked for its whole life.
// Returns its address, or null when the system refuses the memory.
void* AllocLockedBlock(size_t size);

// Unlocks and frees a block made by AllocLockedBlock. Null is ignored.
void FreeLockedBlock(void* address);

// Working memory owned by one run or one dialog (engine planes, prime table,
// spiral grid, preview buffers), from the process heap; zero-filled when
// `zeroed` is set. Null when refused; a size of 0 is refused too.
void* AllocWorkingBlock(size_t size, bool zeroed);

// Gives back a block from AllocWorkingBlock. Null is ignored.
void FreeWorkingBlock(void* block);

// Worker threads, for the engine to share one run's work among the
// processors. They are started and joined inside one call from the host, and
// never call the host back.
struct WorkerThread {
  void (*entry)(void* context);
  void* context;
  void* system;  // the system's hold on the thread while it exists
};

// Starts thread->entry(thread->context) on a new thread; the record must
// stay in place until JoinWorkerThread. False, with nothing started, when
// the system refuses.
bool StartWorkerThread(WorkerThread* thread);

// Waits until a started thread has ended, then lets go of it.
void JoinWorkerThread(WorkerThread* thread);

// A signal one thread raises once and others wait for asleep, for waits
// that may outlast a host's callback.
struct WakeSignal {
  void* system;  // null: none to be had, and waiters spin instead
};

// False, leaving system null, when the system has none to give.
bool OpenWakeSignal(WakeSignal* signal);
void RaiseWakeSignal(WakeSignal* signal);
// Returns at once once the signal is raised.
void AwaitWakeSignal(WakeSignal* signal);
void CloseWakeSignal(WakeSignal* signal);

// Processors this process may run on; at least 1.
int ProcessorCount();

// Microseconds a worker thread takes from the run that starts it: making
// it, waiting for it to begin, and joining it.
uint32_t WorkerThreadMicroseconds();

// Bytes of the processor's last-level cache; 0 when unknown.
uint64_t LastLevelCacheBytes();

// Lets another thread have this processor while this one waits a moment.
void YieldToOtherThreads();

// True when all of [address, address + size) is committed memory that can
// be read, and written too when `writable`, without a fault. Asks the system
// about the pages; never touches them.
bool MemoryAccessible(const void* address, size_t size, bool writable);

// Copies `size` bytes from `address` into `to` when they can be read; false,
// with nothing copied, otherwise. For bytes that may lie past what a host's
// handle promises.
bool CopyIfAccessible(const void* address, void* to, size_t size);

// The size of the global memory block (moveable or fixed) that starts at
// `address`, or 0 when no such block starts there. The caller makes sure the
// address can be read.
size_t GlobalBlockSize(const void* address);
