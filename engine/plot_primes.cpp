#include "engine/plot_primes.h"

#include <algorithm>

#include "engine/engine_memory.h"
#include "engine/plane_buffers.h"
#include "engine/plot_progress.h"
#include "engine/prime_sieve.h"
#include "engine/spiral.h"
#include "host/eight_bit_colors.h"

namespace {

struct PlotColors {
  PlotColor foreground;
  PlotColor background;
};

PlotColor HostColor(const RGBColor& color, double scale) {
  return {color.red * scale, color.green * scale, color.blue * scale};
}

// Fireworks, and some hosts that embed a common host library, hand their
// colours over as 8-bit values.
PlotColors HostColors(const FilterRecord* record) {
  const bool eightBit = HostApp == hostFireworks || ColorsAreEightBit(record);
  const double scale = eightBit ? 1.0 / 255.0 : 1.0 / 65535.0;
  return {HostColor(record->foreground, scale), HostColor(record->background, scale)};
}

struct PlotRun {
  const FilterRecord* record;
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
  const FilterParameters* parameters = GetFilterParameters(run.record);
  if (parameters == nullptr) return filterBadParameters;
  switch (parameters->draw) {
    case drawNormal: return PaintNormalLayout(run);
    case drawSpiral: return PaintSpiralLayout(run);
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

OSErr Plot(FilterGlobals* globals, bool reportProgress) {
  const FilterRecord* record = globals->filterRecord;
  PlaneLayout layout;
  if (DescribePlanes(globals, &layout) != noErr) return filterBadParameters;
  const FilterParameters* parameters = GetFilterParameters(record);
  if (parameters == nullptr) return filterBadParameters;

  PlotRun run = {};
  run.record = record;
  run.width = layout.width;
  run.height = layout.height;
  run.pixelCount = static_cast<size_t>(int64_t{layout.width} * layout.height);
  run.progress = {reportProgress ? record->progressProc : nullptr, record->abortProc,
                  static_cast<int64_t>(run.pixelCount)};
  run.colors = HostColors(record);

  PlaneBuffers buffers;
  if (AllocatePlaneBuffers(layout, &buffers) != noErr) return memFullErr;
  run.buffers = &buffers;
  ReadPlanes(layout, &buffers);
  run.shift = parameters->shft;
  const OSErr result = SieveAndPaint(&run);
  if (result == noErr) {
    WritePlanes(layout, buffers);
    ReportProgress(run.progress, 2 * static_cast<int64_t>(run.pixelCount));
  }
  ReleasePlaneBuffers(&buffers);
  return result;
}

}  // namespace

void PlotPrimes(FilterGlobals* globals, bool reportProgress) {
  if (globals == nullptr || globals->filterRecord == nullptr) return;
  const Rect& area = globals->processRect;
  if (area.right <= area.left || area.bottom <= area.top) return;
  const OSErr result = Plot(globals, reportProgress);
  if (result != noErr && globals->result != nullptr) *globals->result = result;
}
