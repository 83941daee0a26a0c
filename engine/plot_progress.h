// The host's progress and abort callbacks as one plot run uses them.
#pragma once

#include <cstdint>

#include "host/host_api.h"

struct PlotProgress {
  ProgressProc progressProc;  // null when the run reports no progress
  TestAbortProc abortProc;    // null when the host offers none: never aborted
  int64_t pixelCount;         // P; every report is out of 2P
};

// Sends (done, 2P) to the host when progress is reported.
void ReportProgress(const PlotProgress& progress, int64_t done);

// Reports `done`, then polls the host; true when the user asks to stop.
bool ReportAndPollAbort(const PlotProgress& progress, int64_t done);

// The host is called back at every this-many steps of each loop.
constexpr int64_t kStepsPerPoll = 1000;
