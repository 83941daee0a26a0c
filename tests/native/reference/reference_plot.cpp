#include "tests/native/reference/reference_plot.h"

#include <algorithm>

#include "engine/engine_memory.h"
#include "engine/plot_progress.h"
#include "tests/native/reference/plane_buffers.h"
#include "tests/native/reference/prime_sieve.h"
#include "tests/native/reference/spiral.h"

namespace {

struct PlotColors {
  PlotColor foreground;
  PlotColor background;
};

struct PlotRun {
  const int16_t* layout;
  PlotProgress progress;
  PlotColors colors;
  size_t pixelCount;
  int32_t width;
  int32_t height;
  uint16_t shift;
  const uint8_t* primeTable;  // entry n for every number n < P + shift
  PlaneBuffers* buffers;
};

const PlotColor& ColorOf(const PlotRun& run, uint8_t primeEntry) {
  return IsPrimeEntry(primeEntry) ? run.colors.foreground : run.colors.background;
}

// Row by row: pixel i has the number i + shift.
OSErr PaintNormalLayout(const PlotRun& run) {
  const size_t pollStep = static_cast<size_t>(kStepsPerPoll);
  for (size_t start = 0; start < run.pixelCount; start += pollStep) {
    if (ReportAndPollAbort(run.progress, static_cast<int64_t>(run.pixelCount + start)))
      return userCanceledErr;
    const size_t end = std::min(run.pixelCount, start + pollStep);
    const uint8_t* entry = run.primeTable + run.shift;
    for (size_t i = start; i < end; ++i) StorePixelColor(run.buffers, i, ColorOf(run, entry[i]));
  }
  return noErr;
}

OSErr PaintSpiralNumbers(const PlotRun& run, const int32_t* grid) {
  const int64_t walked = static_cast<int64_t>(run.pixelCount + run.pixelCount / 2);
  const size_t pollStep = static_cast<size_t>(kStepsPerPoll);
  for (size_t start = 0; start < run.pixelCount; start += pollStep) {
    if (ReportAndPollAbort(run.progress, walked + static_cast<int64_t>(start / 2))) return userCanceledErr;
    const size_t end = std::min(run.pixelCount, start + pollStep);
    for (size_t j = start; j < end; ++j)
      StorePixelColor(run.buffers, j, ColorOf(run, run.primeTable[grid[j]]));
  }
  return noErr;
}

// Numbers the pixels along the spiral first, then paints them row by row.
OSErr PaintSpiralLayout(const PlotRun& run) {
  auto* grid = static_cast<int32_t*>(AllocateEngineMemory(uint64_t{sizeof(int32_t)} * run.pixelCount, true));
  if (grid == nullptr) return memFullErr;
  OSErr result = WalkSpiral(grid, run.width, run.height, run.shift, run.progress);
  if (result == noErr) {
    ReportProgress(run.progress, static_cast<int64_t>(run.pixelCount + run.pixelCount / 2));
    result = PaintSpiralNumbers(run, grid);
  }
  ReleaseEngineMemory(grid);
  return result;
}

// The layout is read after the sieve (the shift before it): while the
// dialog's preview runs, the dialog stays live inside the host's callbacks
// and may change the parameters block.
OSErr PaintLayout(const PlotRun& run) {
  switch (*run.layout) {
    case plotLayoutNormal: return PaintNormalLayout(run);
    case plotLayoutSpiral: return PaintSpiralLayout(run);
    default: return noErr;  // the planes keep what was read
  }
}

OSErr SieveAndPaint(PlotRun* run) {
  const uint64_t numberCount = uint64_t{run->pixelCount} + run->shift;
  auto* table = static_cast<uint8_t*>(AllocateEngineMemory(numberCount, false));
  if (table == nullptr) return memFullErr;
  OSErr result = SievePrimes(table, static_cast<size_t>(numberCount), run->progress);
  if (result == noErr) {
    ReportProgress(run->progress, static_cast<int64_t>(run->pixelCount));
    run->primeTable = table;
    result = PaintLayout(*run);
    run->primeTable = nullptr;
  }
  ReleaseEngineMemory(table);
  return result;
}

OSErr Plot(const PlotJob& job, const PlotGeometry& layout) {
  PlotRun run = {};
  run.layout = job.layout;
  run.width = layout.width;
  run.height = layout.height;
  run.pixelCount = static_cast<size_t>(int64_t{layout.width} * layout.height);
  run.progress = {job.progressProc, job.abortProc, static_cast<int64_t>(run.pixelCount)};
  run.colors = {job.foreground, job.background};

  PlaneBuffers buffers;
  if (AllocatePlaneBuffers(layout, &buffers) != noErr) return memFullErr;
  run.buffers = &buffers;
  ReadPlanes(layout, &buffers);
  run.shift = job.shift;
  const OSErr result = SieveAndPaint(&run);
  if (result == noErr) {
    WritePlanes(layout, buffers);
    ReportProgress(run.progress, 2 * static_cast<int64_t>(run.pixelCount));
  }
  ReleasePlaneBuffers(&buffers);
  return result;
}

}  // namespace

OSErr ReferencePlot(const PlotJob& job) {
  if (job.area.right <= job.area.left || job.area.bottom <= job.area.top) return noErr;
  PlotGeometry layout;
  if (LocatePlot(job, &layout) != noErr || job.layout == nullptr) return filterBadParameters;
  return Plot(job, layout);
}
