// One plot run. Every call back to the host (progress reports and abort
// polls) is made on the host's thread and comes before the first byte of
// output is written: the sieve with its polls, then the polls of the
// layout's passes, and only then, with all memory held and no poll left,
// the painting. A cancel or a refusal thus never leaves a half-written
// output. Worker threads share the sieve and the painting; each is joined
// before the stretch of work it helped with ends.
#include "engine/plot_job.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "engine/plot_geometry.h"
#include "engine/plot_lanes.h"
#include "engine/plot_paint.h"
#include "engine/plot_progress.h"
#include "engine/prime_wheel.h"
#include "host/platform.h"

namespace {

// ---- The sieve ----
//
// The segments are dealt out a chunk of a few at a time, in increasing
// order, to whichever lane is free. The host's lane also makes the polls at
// every 1000th number, each as soon as every number below it is sieved:
// after each of its own chunks, and while it waits for the last ones.

constexpr uint32_t kMaxChunks = 1024;

struct SieveWork {
  PrimeSieve* sieve;
  PlotProgress progress;
  uint32_t chunkBytes;
  uint32_t chunkCount;  // at most kMaxChunks
  std::atomic<uint32_t> nextChunk{0};
  std::atomic<bool> stop{false};
  std::atomic<bool> chunkDone[kMaxChunks]{};
  // The host's lane only:
  uint32_t chunksPolled = 0;  // chunks, from the first on, that the polls have passed
  int64_t nextPoll = kStepsPerPoll;
  OSErr result = noErr;
};

struct ChunkPlan {
  uint32_t chunkBytes;
  uint32_t chunkCount;
};

// Chunks of one to eight segments: enough of them for the lanes to finish
// close together, and few enough that aiming a lane's lines at each (a
// division per prime) stays a small part of sieving it. The larger primes
// strike a chunk at once, so larger chunks, where there are enough of
// them, spare those their search for each segment.
ChunkPlan PlanChunks(uint32_t limit, int lanes) {
  const uint32_t segments = (PrimeTableBytes(limit) + kSegmentBytes - 1) / kSegmentBytes;
  uint32_t perChunk = std::clamp(segments / (8 * static_cast<uint32_t>(lanes)), 1u, 8u);
  perChunk = std::max(perChunk, (segments + kMaxChunks - 1) / kMaxChunks);
  return {perChunk * kSegmentBytes, (segments + perChunk - 1) / perChunk};
}

// Makes the polls that the finished chunks allow; true when the user asks to stop.
bool PollSieved(SieveWork* work) {
  while (work->chunksPolled < work->chunkCount && work->chunkDone[work->chunksPolled].load(std::memory_order_acquire))
    ++work->chunksPolled;
  const int64_t sievedBelow =
      std::min<int64_t>(int64_t{work->chunksPolled} * work->chunkBytes * 30, work->sieve->table.limit);
  for (; work->nextPoll < sievedBelow; work->nextPoll += kStepsPerPoll)
    if (ReportAndPollAbort(work->progress, work->nextPoll)) {
      work->result = userCanceledErr;
      work->stop.store(true, std::memory_order_relaxed);
      return true;
    }
  return false;
}

void SieveLane(SieveWork* work, int lane) {
  PrimeSieve* sieve = work->sieve;
  while (!work->stop.load(std::memory_order_relaxed)) {
    const uint32_t chunk = work->nextChunk.fetch_add(1, std::memory_order_relaxed);
    if (chunk >= work->chunkCount) break;
    SieveRange(sieve, lane, chunk * work->chunkBytes, (chunk + 1) * work->chunkBytes);
    work->chunkDone[chunk].store(true, std::memory_order_release);
    if (lane == 0) PollSieved(work);
  }
  if (lane != 0) return;
  while (!work->stop.load(std::memory_order_relaxed) && work->chunksPolled < work->chunkCount) {
    const uint32_t polled = work->chunksPolled;
    if (!PollSieved(work) && work->chunksPolled == polled) YieldToOtherThreads();
  }
}

// ---- The layout's polls ----

// Polls at every 1000th of `steps` steps from `first` (0 included, or not),
// reporting start + step / divisor. The divisor (1 or 2) divides the steps
// between polls, so the report moves on by a constant: a 64-bit division per
// poll took milliseconds of a large spiral's time on the host's thread.
bool PollPass(const PlotProgress& progress, int64_t first, int64_t steps, int64_t start, int64_t divisor) {
  static_assert(kStepsPerPoll % 2 == 0, "reports advance by whole steps");
  const int64_t advance = kStepsPerPoll / divisor;
  int64_t done = start + first / divisor;
  for (int64_t step = first; step < steps; step += kStepsPerPoll, done += advance)
    if (ReportAndPollAbort(progress, done)) return true;
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

// ---- The painting ----
//
// Bands of rows, dealt out one at a time to whichever lane is free.

struct PaintWork {
  const PlotGeometry* geometry;
  PaintSamples samples;
  const PrimeTable* primes;
  int16_t layout;
  uint16_t shift;
  uint8_t* scratch;
  uint64_t scratchBytes;  // per lane
  int32_t bandCount;
  bool pastCache;
  std::atomic<int32_t> nextBand{0};
};

// Prepares the lane's scratch, then, once ready() allows, paints.
template <typename Ready>
void PaintLane(PaintWork* work, int lane, Ready&& ready) {
  // A thread may begin milliseconds after it is made, when the other lanes
  // have taken every band: its scratch would be cleared for nothing while
  // the host's thread waits to join it.
  if (work->nextBand.load(std::memory_order_relaxed) >= work->bandCount) return;
  uint8_t* scratch = work->scratch + work->scratchBytes * static_cast<uint64_t>(lane);
  PreparePaintScratch(*work->geometry, work->layout, work->pastCache, scratch);
  if (!ready()) return;
  for (;;) {
    const int32_t band = work->nextBand.fetch_add(1, std::memory_order_relaxed);
    if (band >= work->bandCount) return;
    PaintBand(*work->geometry, work->samples, *work->primes, work->layout, work->shift, band, scratch,
              work->pastCache);
  }
}

uint64_t OutputBytes(const PlotGeometry& geometry) {
  return uint64_t(geometry.width) * uint64_t(geometry.height) * uint64_t(geometry.pixelBytes);
}

// An output larger than half the last-level cache (or than any cache, when
// its size is unknown) is written past the cache: it would push the prime
// table and the input out, and itself too before the host reads it. A
// smaller one is written through the cache, as the C library's memset and
// memcpy do, and the host then finds it there.
bool PaintsPastCache(const PlotGeometry& geometry) {
  const uint64_t cacheBytes = LastLevelCacheBytes();
  return cacheBytes == 0 || OutputBytes(geometry) > cacheBytes / 2;
}

// ---- The run ----
//
// The workers are started once for the whole run. They sieve, wait while
// the host's lane reads the layout and makes the layout's polls, then paint,
// unless a poll stopped the run.

enum RunStage : int {
  stageSieving,
  stageLayoutRead,  // the painting's layout is set: lanes may prepare their scratch
  stagePainting,
  stageStopped,
};

struct RunWork {
  PrimeSieve primes;
  SieveWork sieve;
  PaintWork paint;
  int sieveLanes;
  int paintLanes;
  const int16_t* layout;
  OSErr result = noErr;  // the run's, set by the host's lane before the painting
  std::atomic<int> stage{stageSieving};
  // Raised once stageLayoutRead, then stagePainting (or stageStopped), is
  // set. Opened by the first lane that would sleep on it: most waits end
  // while the lanes still yield, and under wine every signal opened, raised
  // and closed is a round trip to its server, 20 to 60 us of the host's
  // thread each.
  std::atomic<void*> reached[2] = {{nullptr}, {nullptr}};
};

// The stage is stored and a signal looked for, and in AwaitStage a signal
// published and the stage looked at, in one order for all threads
// (sequentially consistent): either the raiser finds the signal, or the
// waiter finds the stage.
void EnterStage(RunWork* run, int stage) {
  run->stage.store(stage);
  auto raise = [](std::atomic<void*>& reached) {
    WakeSignal signal = {reached.load()};
    if (signal.system != nullptr) RaiseWakeSignal(&signal);
  };
  if (stage == stageLayoutRead || stage == stageStopped) raise(run->reached[0]);
  if (stage == stagePainting || stage == stageStopped) raise(run->reached[1]);
}

// Yields while the host's lane is likely to be quick about it, then sleeps:
// the host's callbacks, which it may be making, can take any time.
constexpr int kYieldsBeforeSleeping = 2000;

// The stage's signal, opened by this lane unless another lane was first;
// null when the system has none to give.
WakeSignal SignalToAwait(std::atomic<void*>& reached) {
  WakeSignal signal = {reached.load()};
  if (signal.system != nullptr || !OpenWakeSignal(&signal)) return signal;
  void* first = nullptr;
  if (reached.compare_exchange_strong(first, signal.system)) return signal;
  CloseWakeSignal(&signal);
  return {first};
}

// Waits on the host's lane; false when the run stops instead.
bool AwaitStage(RunWork* run, int stage) {
  std::atomic<void*>& reached = run->reached[stage == stageLayoutRead ? 0 : 1];
  WakeSignal signal = {nullptr};
  for (int yields = 0;; ++yields) {
    const int now = run->stage.load();
    if (now >= stage) return now != stageStopped;
    if (yields == kYieldsBeforeSleeping) {
      signal = SignalToAwait(reached);
      continue;  // the stage is looked at again before sleeping
    }
    if (signal.system == nullptr)
      YieldToOtherThreads();
    else
      AwaitWakeSignal(&signal);
  }
}

// The host's lane between the sieve and the painting: every call back to
// the host left before the output is written.
OSErr PollBeforePainting(RunWork* run) {
  if (run->sieve.result != noErr) return run->sieve.result;
  const PlotProgress& progress = run->sieve.progress;
  ReportProgress(progress, progress.pixelCount);
  // Read only now: inside the dialog's preview the host's callbacks may
  // have let the user pick another layout.
  run->paint.layout = *run->layout;
  EnterStage(run, stageLayoutRead);
  return PollLayoutPasses(progress, run->paint.layout);
}

void PlotLane(void* context, int lane) {
  RunWork* run = static_cast<RunWork*>(context);
  if (lane < run->sieveLanes) SieveLane(&run->sieve, lane);
  if (lane == 0) {
    run->result = PollBeforePainting(run);
    EnterStage(run, run->result == noErr ? stagePainting : stageStopped);
    if (run->result != noErr) return;
  } else if (lane >= run->paintLanes || !AwaitStage(run, stageLayoutRead)) {
    return;
  }
  PaintLane(&run->paint, lane, [&] { return lane == 0 || AwaitStage(run, stagePainting); });
}

// Once every lane is done with the memory and the signals: the last report,
// the memory and any signal given back while the workers' threads end.
void FinishRun(void* context) {
  RunWork* run = static_cast<RunWork*>(context);
  const PlotProgress& progress = run->sieve.progress;
  if (run->result == noErr) ReportProgress(progress, 2 * int64_t{progress.pixelCount});
  ClosePrimeSieve(&run->primes);
  for (std::atomic<void*>& reached : run->reached) {
    WakeSignal signal = {reached.load()};
    if (signal.system != nullptr) CloseWakeSignal(&signal);
  }
}

OSErr Plot(const PlotJob& job, const PlotGeometry& geometry) {
  const uint32_t pixelCount = static_cast<uint32_t>(int64_t{geometry.width} * geometry.height);
  const PlotProgress progress = {job.progressProc, job.abortProc, pixelCount};
  const uint32_t limit = pixelCount + job.shift;
  // All the memory, before the host is first called: the painting's
  // scratch rides in the sieve's workspace, a part for each lane. Where the
  // system refuses it for every lane wanted (a 32-bit host's address space
  // is often in pieces), half as many lanes may still fit, down to the
  // host's thread alone, which needs no more than before the lanes.
  const uint64_t scratchBytes = PaintScratchBytes(geometry);
  RunWork run;
  PrimeSieve& sieve = run.primes;
  ChunkPlan chunks{};
  int sieveLanes = 1, paintLanes = 1;
  for (int lanes = LanesWorthStarting(uint64_t{limit} + OutputBytes(geometry));; lanes /= 2) {
    chunks = PlanChunks(limit, lanes);
    sieveLanes = std::min<int>(lanes, static_cast<int>(chunks.chunkCount));
    paintLanes = std::min<int>(lanes, PaintBandCount(geometry));
    if (OpenPrimeSieve(limit, sieveLanes, scratchBytes * static_cast<uint64_t>(paintLanes), &sieve) == noErr) break;
    if (lanes <= 1) return memFullErr;
  }
  run.sieve.sieve = &sieve;
  run.sieve.progress = progress;
  run.sieve.chunkBytes = chunks.chunkBytes;
  run.sieve.chunkCount = chunks.chunkCount;
  run.sieveLanes = sieveLanes;
  run.paintLanes = paintLanes;
  run.layout = job.layout;
  PaintWork& paint = run.paint;
  paint.geometry = &geometry;
  paint.samples = SamplesFor(job.foreground, job.background, geometry.bytesPerSample);
  paint.primes = &sieve.table;
  paint.shift = job.shift;
  paint.scratch = sieve.extra;
  paint.scratchBytes = scratchBytes;
  paint.bandCount = PaintBandCount(geometry);
  paint.pastCache = PaintsPastCache(geometry);
  RunLanes(std::max(sieveLanes, paintLanes), PlotLane, FinishRun, &run);
  return run.result;
}

}  // namespace

OSErr RunPlotJob(const PlotJob& job) {
  if (job.area.right <= job.area.left || job.area.bottom <= job.area.top) return noErr;
  PlotGeometry geometry;
  if (LocatePlot(job, &geometry) != noErr || job.layout == nullptr) return filterBadParameters;
  return Plot(job, geometry);
}
