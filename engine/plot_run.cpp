// One plot run. Every call back to the host (progress reports and abort
// polls) comes before the first byte of output is written: the sieve with
// its polls, then the polls of the layout's passes, and only then, with all
// memory held and no poll left, the painting. A cancel or a refusal thus
// never leaves a half-written output.
#include "engine/plot_job.h"

#include "engine/plot_geometry.h"
#include "engine/plot_paint.h"
#include "engine/plot_progress.h"
#include "engine/prime_wheel.h"

namespace {

// The sieve's polls fall at every 1000th number; those that a stretch of
// the sieve has passed are made as soon as it is done.
OSErr SieveWithPolls(PrimeSieve* sieve, const PlotProgress& progress) {
  int64_t nextPoll = kStepsPerPoll;
  while (!SieveDone(*sieve)) {
    const int64_t sievedBelow = SieveNextSegment(sieve);
    for (; nextPoll < sievedBelow; nextPoll += kStepsPerPoll)
      if (ReportAndPollAbort(progress, nextPoll)) return userCanceledErr;
  }
  return noErr;
}

// Polls at every 1000th of `steps` steps from `first` (0 included, or not),
// reporting start + step / divisor.
bool PollPass(const PlotProgress& progress, int64_t first, int64_t steps, int64_t start, int64_t divisor) {
  for (int64_t step = first; step < steps; step += kStepsPerPoll)
    if (ReportAndPollAbort(progress, start + step / divisor)) return true;
  return false;
}

// The normal layout takes one pass over the pixels; the spiral two, the walk
// that numbers them and the painting, each reported as half the work.
OSErr PollLayoutPasses(const PlotProgress& progress, int16_t layout) {
  const int64_t pixels = progress.pixelCount;
  if (layout == plotLayoutNormal) return PollPass(progress, 0, pixels, pixels, 1) ? userCanceledErr : noErr;
  if (layout != plotLayoutSpiral) return noErr;
  if (PollPass(progress, kStepsPerPoll, pixels, pixels, 2)) return userCanceledErr;
  const int64_t walked = pixels + pixels / 2;
  ReportProgress(progress, walked);
  return PollPass(progress, 0, pixels, walked, 2) ? userCanceledErr : noErr;
}

OSErr Plot(const PlotJob& job, const PlotGeometry& geometry) {
  const uint32_t pixelCount = static_cast<uint32_t>(int64_t{geometry.width} * geometry.height);
  const PlotProgress progress = {job.progressProc, job.abortProc, pixelCount};
  PrimeSieve sieve;
  if (OpenPrimeSieve(pixelCount + job.shift, &sieve) != noErr) return memFullErr;
  OSErr result = SieveWithPolls(&sieve, progress);
  ReleaseSieveWorkspace(&sieve);
  if (result == noErr) {
    ReportProgress(progress, pixelCount);
    // Read only now: inside the dialog's preview the host's callbacks may
    // have let the user pick another layout.
    const int16_t layout = *job.layout;
    result = PollLayoutPasses(progress, layout);
    if (result == noErr) {
      PaintPlot(geometry, SamplesFor(job.foreground, job.background, geometry.bytesPerSample), sieve.table,
                layout, job.shift);
      ReportProgress(progress, 2 * int64_t{pixelCount});
    }
  }
  ClosePrimeSieve(&sieve);
  return result;
}

}  // namespace

OSErr RunPlotJob(const PlotJob& job) {
  if (job.area.right <= job.area.left || job.area.bottom <= job.area.top) return noErr;
  PlotGeometry geometry;
  if (LocatePlot(job, &geometry) != noErr || job.layout == nullptr) return filterBadParameters;
  return Plot(job, geometry);
}
