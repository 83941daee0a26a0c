#include "engine/plot_progress.h"

// The rectangle is checked to lie inside host buffers with 16-bit coordinates,
// so 2P and every done value fit the callback's 32-bit arguments.
void ReportProgress(const PlotProgress& progress, int64_t done) {
  if (progress.progressProc == nullptr) return;
  progress.progressProc(static_cast<int32_t>(done), static_cast<int32_t>(2 * progress.pixelCount));
}

bool ReportAndPollAbort(const PlotProgress& progress, int64_t done) {
  ReportProgress(progress, done);
  return progress.abortProc != nullptr && progress.abortProc() != 0;
}
