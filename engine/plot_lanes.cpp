#include "engine/plot_lanes.h"

#include <algorithm>
#include <atomic>

#include "host/platform.h"

namespace {

struct Lanes {
  void (*work)(void* context, int lane);
  void* context;
  std::atomic<int> workersDone{0};
};

struct Lane {
  Lanes* lanes;
  int number;
};

void RunLane(void* lane) {
  const Lane* self = static_cast<const Lane*>(lane);
  Lanes* lanes = self->lanes;
  lanes->work(lanes->context, self->number);
  lanes->workersDone.fetch_add(1, std::memory_order_release);
}

}  // namespace

int LanesWorthStarting(uint64_t work) {
  const int processors = std::clamp(ProcessorCount(), 1, kMaxLanes);
  const uint64_t threadMicroseconds = WorkerThreadMicroseconds();
  if (threadMicroseconds == 0) return processors;
  // A lane sieves about ten thousand numbers a microsecond, and paints about
  // as many output bytes, whatever the format. A worker is started for
  // every thread's cost of the run's work on one lane: a smaller run would
  // wait longer for its threads to begin and end than they save it.
  const uint64_t oneLaneMicroseconds = work / 10000;
  const uint64_t worth = 1 + oneLaneMicroseconds / threadMicroseconds;
  return static_cast<int>(std::min<uint64_t>(worth, static_cast<uint64_t>(processors)));
}

void RunLanes(int lanes, void (*work)(void* context, int lane), void (*finish)(void* context), void* context) {
  lanes = std::clamp(lanes, 1, kMaxLanes);
  Lanes shared;
  shared.work = work;
  shared.context = context;
  Lane lane[kMaxLanes];
  WorkerThread thread[kMaxLanes];
  bool started[kMaxLanes] = {};
  int workers = 0;
  for (int i = 1; i < lanes; ++i) {
    lane[i] = {&shared, i};
    thread[i] = {RunLane, &lane[i], nullptr};
    started[i] = StartWorkerThread(&thread[i]);
    workers += started[i] ? 1 : 0;
  }
  work(context, 0);
  while (shared.workersDone.load(std::memory_order_acquire) < workers) YieldToOtherThreads();
  finish(context);
  for (int i = 1; i < lanes; ++i)
    if (started[i]) JoinWorkerThread(&thread[i]);
}
