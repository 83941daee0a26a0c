// The host's progress and abort callbacks as one plot run uses them.
#pragma once

#include <cstdint>

#include "host/host_api.h"

struct PlotProgress {
  ProgressProc progressProc;  // null when the run reports no progress
  TestAbortProc abortProc;    // null when the host offers none: never aborted
  int64_t pixelCount;         // P; every report is out of 2P
};

// Sends (done, 2P) to the host when progress is reported. The rectangle is
// checked to lie inside host buffers with 16-bit coordinates, so 2P and
// every done value fit the callback's 32-bit arguments.
inline void ReportProgress(const PlotProgress& progress, int64_t done) {
  if (progress.progressProc == nullptr) return;
  progress.progressProc(static_cast<int32_t>(done), static_cast<int32_t>(2 * progress.pixelCount));
}

// Reports `done`, then polls the host; true when the user asks to stop.
// Inline: a large spiral makes tens of thousands of these in a row.
inline bool ReportAndPollAbort(const PlotProgress& progress, int64_t done) {
  ReportProgress(progress, done);
  return progress.abortProc != nullptr && progress.abortProc() != 0;
}

// The host is called back at every this-many steps of each loop.
constexpr int64_t kStepsPerPoll = 1000;
