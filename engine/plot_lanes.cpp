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

int AvailableLanes() { return std::clamp(ProcessorCount(), 1, kMaxLanes); }

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
