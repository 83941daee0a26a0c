// How a run meets the host: progress, abort, and every way it can fail.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <functional>
#include <thread>

#include "engine/prime_wheel.h"
#include "engine_test_host.h"
#include "tests/native/reference/reference_plot.h"

namespace {

using Calls = std::vector<ProgressCall>;

Calls OutOf(int32_t total, std::initializer_list<int32_t> dones) {
  Calls calls;
  for (int32_t done : dones) calls.push_back({done, total});
  return calls;
}

// 50 x 50 pixels: P = 2500.
const Calls kNormal = OutOf(5000, {1000, 2000, 2500,           // sieve, its end
                                   2500, 3500, 4500, 5000});   // painting, written back
const Calls kSpiral = OutOf(5000, {1000, 2000, 2500,           // sieve, its end
                                   3000, 3500, 3750,           // walk, its end
                                   3750, 4250, 4750, 5000});   // painting, written back

class EveryEngine : public ::testing::TestWithParam<PlotEngine> {};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Plot, EveryEngine, ::testing::Values(RunPlotJob, ReferencePlot), EngineName);

TEST_P(EveryEngine, ReportsEveryPhaseAtEachThousandthStep) {
  struct Case {
    int side;
    int16_t layout;
    uint16_t shift;
    Calls calls;
  };
  const Case cases[] = {
      {50, plotLayoutNormal, 0, kNormal},
      {50, plotLayoutSpiral, 0, kSpiral},
      {50, plotLayoutNormal, 1500, OutOf(5000, {1000, 2000, 3000, 2500, 2500, 3500, 4500, 5000})},
      {50, plotLayoutSpiral, 3000,
       OutOf(5000, {1000, 2000, 3000, 4000, 5000, 2500, 3000, 3500, 3750, 3750, 4250, 4750, 5000})},
      // A shift beyond P takes the sieve's reports past the total.
      {10, plotLayoutNormal, 2500, OutOf(200, {1000, 2000, 100, 100, 200})},
      {50, 2, 0, OutOf(5000, {1000, 2000, 2500, 5000})},  // no layout: the input given back
  };
  for (const Case& c : cases) {
    auto image = MakeImage(c.side, c.side, 1, 1, c.layout, c.shift);
    EXPECT_EQ(RunPlot(image.get(), 0, GetParam()), noErr);
    EXPECT_EQ(progressCalls, c.calls) << "layout " << c.layout << " shift " << c.shift;
  }
}

TEST_P(EveryEngine, PollsAtTheSameStepsWithoutReporting) {
  for (int16_t layout : {plotLayoutNormal, plotLayoutSpiral}) {
    auto image = MakeImage(50, 50, 1, 1, layout);
    image->job.progressProc = nullptr;
    RunPlot(image.get(), 0, GetParam());
    EXPECT_TRUE(progressCalls.empty());
    EXPECT_EQ(abortPolls, layout == plotLayoutSpiral ? 7 : 5);
    EXPECT_EQ(ForegroundPixels(*image), ExpectedForeground(50, 50, layout, 0));
  }
}

TEST_P(EveryEngine, CancelStopsInEveryPhaseWithNothingWritten) {
  // {layout, the poll that stops, reports made by then}: sieve, painting;
  // sieve, walk, painting, each at its first and last poll.
  const int cases[][3] = {{plotLayoutNormal, 1, 1}, {plotLayoutNormal, 2, 2}, {plotLayoutNormal, 3, 4},
                          {plotLayoutNormal, 5, 6}, {plotLayoutSpiral, 1, 1}, {plotLayoutSpiral, 3, 4},
                          {plotLayoutSpiral, 4, 5}, {plotLayoutSpiral, 5, 7}, {plotLayoutSpiral, 7, 9}};
  for (const auto& c : cases) {
    auto image = MakeImage(50, 50, 3, 1, int16_t(c[0]));
    EXPECT_EQ(RunPlot(image.get(), c[1], GetParam()), userCanceledErr);
    const Calls& all = c[0] == plotLayoutSpiral ? kSpiral : kNormal;
    EXPECT_EQ(abortPolls, c[1]);
    EXPECT_EQ(progressCalls, Calls(all.begin(), all.begin() + c[2])) << "layout " << c[0] << " poll " << c[1];
    EXPECT_TRUE(OutputUntouched(*image));
    EXPECT_EQ(LiveWorkingBlocks(), 0);
  }
}

TEST_P(EveryEngine, LayoutIsReadWhenTheSieveIsDone) {
  // The dialog's preview: the user switches layouts while the host is
  // called back during the sieve.
  static TestImage* live;
  auto image = MakeImage(50, 50, 1, 1, plotLayoutNormal);
  live = image.get();
  image->job.progressProc = [](int32_t done, int32_t total) {
    LogProgress(done, total);
    if (done == 1000) live->layout = plotLayoutSpiral;
  };
  EXPECT_EQ(RunPlot(image.get(), 0, GetParam()), noErr);
  EXPECT_EQ(progressCalls, kSpiral);
  EXPECT_EQ(ForegroundPixels(*image), ExpectedForeground(50, 50, plotLayoutSpiral, 0));
}

TEST_P(EveryEngine, EmptyRectangleDoesNothingAtAll) {
  auto image = MakeImage(8, 8);
  image->job.input.data = nullptr;  // not even looked at
  for (const Rect& empty : {Rect{0, 0, 0, 8}, Rect{0, 0, 8, 0}, Rect{4, 2, 3, 6}, Rect{2, 6, 4, 5}}) {
    image->job.area = empty;
    EXPECT_EQ(RunPlot(image.get(), 0, GetParam()), noErr);
    EXPECT_TRUE(hostCalls.empty() && OutputUntouched(*image));
  }
}

TEST_P(EveryEngine, BuffersThatCannotHoldTheRectangleAreNeverTouched) {
  // A 9 x 6 RGB image, plotted over rows 0..4 and columns 1..7.
  const std::pair<const char*, std::function<void(TestImage*)>> cases[] = {
      {"no input", [](TestImage* image) { image->job.input.data = nullptr; }},
      {"no output", [](TestImage* image) { image->job.output.data = nullptr; }},
      {"above the buffers", [](TestImage* image) { SetRect(&image->job.area, -1, 0, 5, 8); }},
      {"left of the buffers", [](TestImage* image) { SetRect(&image->job.area, 0, -2, 5, 8); }},
      {"right of both", [](TestImage* image) { SetRect(&image->job.area, 0, 0, 6, 10); }},
      {"below the input", [](TestImage* image) { SetRect(&image->job.input.bounds, 10, 0, 14, 9); }},
      {"right of the output", [](TestImage* image) { SetRect(&image->job.output.bounds, 0, 4, 6, 11); }},
      {"input rows too short", [](TestImage* image) { image->job.input.rowBytes = 9 * 3 - 1; }},
      {"output rows of 0", [](TestImage* image) { image->job.output.rowBytes = 0; }},
      {"rows upwards", [](TestImage* image) { image->job.output.rowBytes = -image->rowBytes; }},
      {"negative column bytes", [](TestImage* image) { image->job.input.columnBytes = -3; }},
      {"column bytes beyond the row", [](TestImage* image) { image->job.output.columnBytes = 4; }},
      {"more planes than the pixels hold", [](TestImage* image) { image->job.planes = 4; }},
      {"no planes", [](TestImage* image) { image->job.planes = 0; }},
      {"three bytes per sample", [](TestImage* image) { image->job.bytesPerSample = 3; }},
      {"no layout to read", [](TestImage* image) { image->job.layout = nullptr; }},
  };
  for (const auto& c : cases) {
    auto image = MakeImage(9, 6, 3, 1);
    SetRect(&image->job.area, 0, 1, 5, 8);
    c.second(image.get());
    EXPECT_EQ(RunPlot(image.get(), 0, GetParam()), filterBadParameters) << c.first;
    EXPECT_TRUE(OutputUntouched(*image) && hostCalls.empty()) << c.first;
    EXPECT_EQ(LiveWorkingBlocks(), 0) << c.first;
  }
}

TEST_P(EveryEngine, HostWithoutCallbacksStillPlots) {
  auto image = MakeImage(40, 40, 1, 1, plotLayoutSpiral);
  image->job.progressProc = nullptr;
  image->job.abortProc = nullptr;
  EXPECT_EQ(RunPlot(image.get(), 0, GetParam()), noErr);
  EXPECT_EQ(ForegroundPixels(*image), ExpectedForeground(40, 40, plotLayoutSpiral, 0));
}

TEST(PlotMemory, RefusedMemoryEndsTheRunBeforeTheHostIsCalled) {
  // The workspace (the sieve's and the painting's) and the table, each in turn refused.
  for (int16_t layout : {plotLayoutNormal, plotLayoutSpiral})
    for (int granted = 0; granted <= 2; ++granted) {
      auto image = MakeImage(40, 30, 3, 1, layout, 7);
      RefuseMemoryAfter(granted);
      const OSErr result = RunPlot(image.get());
      RefuseMemoryAfter(-1);
      EXPECT_EQ(LiveWorkingBlocks(), 0);
      const bool ran = granted == 2;
      EXPECT_EQ(result, ran ? noErr : memFullErr) << granted;
      EXPECT_EQ(OutputUntouched(*image), !ran) << granted;
      EXPECT_EQ(hostCalls.empty(), !ran) << granted;
    }
}

TEST(PlotMemory, WorkingMemoryIsABitPerThirtyNumbersAndALittlePerLane) {
  // Whatever the image: no plane copies, no per-pixel grid; for each lane a
  // staging row and a band's marks and side lists, about 64 bytes a column.
  // The fixed part is the presieve patterns (50 KB).
  for (int lanes : {1, 4})
    for (int planes : {1, 4})
      for (int16_t layout : {plotLayoutNormal, plotLayoutSpiral}) {
        auto image = MakeImage(300, 200, planes, 2, layout, 65535);
        ReportProcessors(lanes);
        ResetPeakWorkingBytes();
        EXPECT_EQ(RunPlot(image.get()), noErr);
        ReportProcessors(0);
        EXPECT_LE(PeakWorkingBytes(), (300 * 200 + 65535) / 30 + 52 * 1024 + lanes * 28 * 1024)
            << lanes << " lanes, " << planes << " planes, layout " << layout;
      }
}

TEST(PlotThreads, ThreadsTheSystemRefusesLeaveTheWorkToTheOthers) {
  // Many sieve segments and row bands; 4 lanes wanted: three workers.
  ReportProcessors(1);
  auto alone = MakeImage(2000, 1500, 4, 1, plotLayoutSpiral, 300);
  ASSERT_EQ(RunPlot(alone.get()), noErr);
  const Calls calls = hostCalls;
  for (int started = 0; started <= 3; ++started) {
    auto image = MakeImage(2000, 1500, 4, 1, plotLayoutSpiral, 300);
    ReportProcessors(4);
    RefuseThreadsAfter(started);
    EXPECT_EQ(RunPlot(image.get()), noErr) << started;
    EXPECT_EQ(WorkerThreadsStarted(), started) << started;
    RefuseThreadsAfter(-1);
    EXPECT_EQ(hostCalls, calls) << started;
    EXPECT_TRUE(image->output == alone->output) << started;
    EXPECT_EQ(LiveWorkingBlocks(), 0) << started;
  }
  ReportProcessors(0);
}

TEST(PlotThreads, MemoryRefusedForEveryLaneLeavesTheRunToFewer) {
  // A wide spiral in 5 segments and 5 bands: each lane's part of the
  // workspace (a band's marks, 129 KB) is large enough that two lanes'
  // parts outweigh the table (147 KB).
  auto makeImage = [] { return MakeImage(4000, 1100, 4, 1, plotLayoutSpiral, 300); };
  ReportProcessors(1);
  auto alone = makeImage();
  ASSERT_EQ(RunPlot(alone.get()), noErr);
  const Calls calls = hostCalls;
  // The most held at once on two lanes is their workspace and the table:
  // more than the workspace of two lanes alone, less than that of four.
  ReportProcessors(2);
  auto twoLanes = makeImage();
  ResetPeakWorkingBytes();
  ASSERT_EQ(RunPlot(twoLanes.get()), noErr);
  const uint64_t twoLanesPeak = PeakWorkingBytes();
  auto image = makeImage();
  ReportProcessors(4);
  RefuseThreadsAfter(-1);
  RefuseWorkingBlocksOver(twoLanesPeak);
  EXPECT_EQ(RunPlot(image.get()), noErr);
  RefuseWorkingBlocksOver(0);
  ReportProcessors(0);
  EXPECT_EQ(WorkerThreadsStarted(), 1);
  EXPECT_EQ(hostCalls, calls);
  EXPECT_TRUE(image->output == alone->output);
  EXPECT_EQ(LiveWorkingBlocks(), 0);
}

TEST(PlotThreads, AWorkerOnlyWhereTheRunPaysForItsThread) {
  // A thread costing 200 us: a worker for every 200 us of one-lane work, 2
  // million numbers and output bytes, and at most three beside the host's.
  struct Case {
    int width, height, planes;
    int workers;
  } cases[] = {{300, 200, 1, 0}, {900, 1000, 1, 0}, {1000, 1000, 1, 1}, {1000, 1000, 3, 2}, {2000, 1500, 4, 3}};
  for (const Case& c : cases) {
    ReportProcessors(1);
    auto alone = MakeImage(c.width, c.height, c.planes, 1, plotLayoutSpiral, 300);
    ASSERT_EQ(RunPlot(alone.get()), noErr);
    auto image = MakeImage(c.width, c.height, c.planes, 1, plotLayoutSpiral, 300);
    ReportProcessors(4);
    ReportWorkerThreadMicroseconds(200);
    RefuseThreadsAfter(-1);
    EXPECT_EQ(RunPlot(image.get()), noErr);
    ReportWorkerThreadMicroseconds(0);
    EXPECT_EQ(WorkerThreadsStarted(), c.workers) << c.width << "x" << c.height << "x" << c.planes;
    EXPECT_TRUE(image->output == alone->output);
  }
  ReportProcessors(0);
}

// A host that takes its time over one abort poll, and the processor time
// the whole process spent meanwhile.
int slowPoll = 0;
double busyMillisecondsDuringSlowPoll = 0;
Boolean PI_CALL SlowAbortPoll() {
  const Boolean stop = LogAbortPoll();
  if (abortPolls == slowPoll) {
    const std::clock_t before = std::clock();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    busyMillisecondsDuringSlowPoll = 1000.0 * double(std::clock() - before) / CLOCKS_PER_SEC;
  }
  return stop;
}

TEST(PlotThreads, LanesWaitingOnASlowHostSleep) {
  // The workers wait while the host's thread makes the layout's polls; a
  // host may take any time over one. They sleep through it, then paint, or
  // stop when the poll stops the run.
  ReportProcessors(1);
  auto alone = MakeImage(1200, 1000, 3, 1, plotLayoutSpiral, 7);
  ASSERT_EQ(RunPlot(alone.get()), noErr);
  const Calls calls = hostCalls;
  const int64_t pixels = 1200 * 1000;
  const auto sieved = std::find(calls.begin(), calls.end(), ProgressCall{int32_t(pixels), int32_t(2 * pixels)});
  const int firstLayoutPoll = int(std::count(calls.begin(), sieved, ProgressCall{-1, 0})) + 1;
  for (bool stop : {false, true}) {
    auto image = MakeImage(1200, 1000, 3, 1, plotLayoutSpiral, 7);
    image->job.abortProc = SlowAbortPoll;
    ReportProcessors(4);
    RefuseThreadsAfter(-1);
    slowPoll = firstLayoutPoll;
    EXPECT_EQ(RunPlot(image.get(), stop ? firstLayoutPoll : 0), stop ? userCanceledErr : noErr);
    EXPECT_EQ(WorkerThreadsStarted(), 3);
    // Three lanes yielding all along would keep every processor busy.
    EXPECT_LT(busyMillisecondsDuringSlowPoll, 100.0) << stop;
    if (stop) {
      EXPECT_TRUE(OutputUntouched(*image));
    } else {
      EXPECT_EQ(hostCalls, calls);
      EXPECT_TRUE(image->output == alone->output);
    }
    EXPECT_EQ(LiveWorkingBlocks(), 0);
  }
  ReportProcessors(0);
}

TEST(PlotJob, GrayImagesWithExtraChannelsPaintOnlyTheGrayPlane) {
  // A gray image carrying two extra channels: three planes.
  for (int bytes : {1, 2}) {
    auto image = MakeImage(12, 5, 3, bytes);
    image->job.gray = true;
    ASSERT_EQ(RunPlot(image.get(), 0, RunPlotJob), noErr) << bytes;
    for (int row = 0; row < 5; ++row)
      for (int column = 0; column < 12; ++column) {
        const int ceiling = bytes == 2 ? 32768 : 255;
        ASSERT_EQ(SampleOf(*image, image->output, row, column, 0) == ceiling, IsPrime(row * 12 + column));
        // Passed through as read; the pattern's 16-bit values beyond the host's 32768 are capped.
        for (int plane = 1; plane < 3; ++plane)
          ASSERT_EQ(SampleOf(*image, image->output, row, column, plane),
                    std::min(SampleOf(*image, image->input, row, column, plane), ceiling))
              << bytes << " plane " << plane;
      }
  }
}

TEST(PrimeSieve, FindsExactlyThePrimesBelowEveryLimit) {
  // Limits about the presieve patterns' primes, the first prime with lines
  // of multiples (101) and its square, segment and pattern periods, and past
  // the square of the first prime that strikes whole ranges (4099).
  const uint32_t limits[] = {1,      2,      8,       30,      31,      98,          120,     121,     10201,
                             10202,  510510, 983040,  983041,  1966081, 3 * 983040 + 7, 20000003, 70000003};
  for (uint32_t limit : limits) {
    std::vector<uint32_t> expected;
    std::vector<bool> composite(limit, false);
    for (uint32_t n = 2; n < limit; ++n) {
      if (composite[n]) continue;
      expected.push_back(n);
      for (uint64_t m = uint64_t{n} * n; m < limit; m += n) composite[m] = true;
    }
    // Lanes taking turns a range of one segment, or of several.
    for (auto [lanes, rangeSegments] : {std::pair{1, 1}, std::pair{3, 1}, std::pair{3, 5}}) {
      PrimeSieve sieve;
      ASSERT_EQ(OpenPrimeSieve(limit, lanes, 0, &sieve), noErr);
      const uint32_t rangeBytes = kSegmentBytes * static_cast<uint32_t>(rangeSegments);
      for (uint32_t range = 0; range * rangeBytes < sieve.byteCount; ++range)
        SieveRange(&sieve, static_cast<int>(range % lanes), range * rangeBytes, (range + 1) * rangeBytes);
      std::vector<uint32_t> found;
      ForEachPrime(sieve.table, 0, limit, [&](uint32_t n) { found.push_back(n); });
      ClosePrimeSieve(&sieve);
      const auto differ = std::mismatch(found.begin(), found.end(), expected.begin(), expected.end());
      EXPECT_TRUE(found == expected) << "limit " << limit << ", " << lanes << " lanes: " << found.size()
                                     << " primes found, " << expected.size() << " expected, first difference at "
                                     << (differ.first != found.end() ? *differ.first : 0) << " / "
                                     << (differ.second != expected.end() ? *differ.second : 0);
    }
  }
}
