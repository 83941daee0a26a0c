// One run's work shared among the processors: the host's thread is lane 0,
// and worker threads, started for one stretch of work and joined before it
// ends, are the others. Only lane 0 ever calls the host back.
#pragma once

#include <cstdint>

// Lanes one run uses at most: past this, the painting waits on memory, not
// on processors, and each lane costs its scratch memory.
constexpr int kMaxLanes = 16;

// One lane per processor the process may use, at most kMaxLanes, and no
// more than the run's work pays for: `work` is the numbers to sieve plus the
// output bytes to write.
int LanesWorthStarting(uint64_t work);

// Calls work(context, lane) for lanes 0 .. lanes - 1, lane 0 on this thread,
// the others each on a worker thread of its own, and returns once all have
// ended. A lane whose thread the system refuses does not run at all, so the
// lanes share their work by taking it piece by piece, never by lane number.
// finish(context) runs on this thread once every lane's work has returned,
// while the worker threads end: a thread's end can take a
// few hundred microseconds to reach the joining thread (under wine).
void RunLanes(int lanes, void (*work)(void* context, int lane), void (*finish)(void* context), void* context);
