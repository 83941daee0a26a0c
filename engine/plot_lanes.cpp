#include "engine/plot_lanes.h"

#include <algorithm>

#include "host/platform.h"

namespace {

struct Lane {
  void (*work)(void* context, int lane);
  void* context;
  int number;
};

void RunLane(void* lane) {
  const Lane* self = static_cast<const Lane*>(lane);
  self->work(self->context, self->number);
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

void RunLanes(int lanes, void (*work)(void* context, int lane), void* context) {
  lanes = std::clamp(lanes, 1, kMaxLanes);
  Lane lane[kMaxLanes];
  WorkerThread thread[kMaxLanes];
  bool started[kMaxLanes] = {};
  for (int i = 1; i < lanes; ++i) {
    lane[i] = {work, context, i};
    thread[i] = {RunLane, &lane[i], nullptr};
    started[i] = StartWorkerThread(&thread[i]);
  }
  work(context, 0);
  for (int i = 1; i < lanes; ++i)
    if (started[i]) JoinWorkerThread(&thread[i]);
}
