// The whole pipeline: the real plug-in plotting through our host, checked
// pixel by pixel against an independent oracle, and the progress and abort
// protocol as the host sees it.
#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "tests/wine/plugin_fixture.h"

namespace {

bool IsPrime(int64_t n) {
  if (n < 2) return false;
  for (int64_t d = 2; d * d <= n; ++d)
    if (n % d == 0) return false;
  return true;
}

int64_t RingLength(int64_t width, int64_t height) {
  return width == 1 || height == 1 ? width * height : 2 * (width + height) - 4;
}

// Position along the clockwise inward spiral, from ring arithmetic.
int64_t SpiralPosition(int64_t row, int64_t col, int64_t width, int64_t height) {
  const int64_t ring = std::min(std::min(row, col), std::min(height - 1 - row, width - 1 - col));
  int64_t before = 0;
  for (int64_t i = 0; i < ring; ++i) before += RingLength(width - 2 * i, height - 2 * i);
  const int64_t w = width - 2 * ring, h = height - 2 * ring, y = row - ring, x = col - ring;
  if (h == 1) return before + x;
  if (w == 1) return before + y;
  if (y == 0) return before + x;
  if (x == w - 1) return before + (w - 1) + y;
  if (y == h - 1) return before + (w - 1) + (h - 1) + (w - 1 - x);
  return before + 2 * (w - 1) + (h - 1) + (h - 1 - y);
}

// What a colour component (0..65535) becomes in the image.
uint16_t Painted(uint16_t component, int32_t depth) {
  const float normalised = static_cast<float>(component * (1.0 / 65535.0));
  const double scaled = static_cast<double>(normalised) * (depth == 8 ? 255.0 : 32768.0);
  return static_cast<uint16_t>(scaled + 0.5);
}

struct PlotCase {
  int32_t width, height, colorPlanes;
  bool alpha;
  int32_t depth;
  Rect rect;
  int16_t draw;
  uint16_t shift;
};

class PlotPipeline : public PluginFixture {
 protected:
  void Plot(const PlotCase& c, const HostOptions& options) {
    Open(options);
    ASSERT_TRUE(MakeImage(&image, c.width, c.height, c.colorPlanes, c.alpha, c.depth));
    FillGradient(&image);
    original = image;
    const FilterParameters values = {c.draw, c.shift};
    ASSERT_TRUE(SetParameters(session, &values, sizeof values));
    HostRunOptions run;
    run.filterRect = c.rect;
    report = RunFilter(session, &image, run);
  }

  void ExpectPlot(const PlotCase& c, const HostOptions& options) {
    const Rect& r = c.rect;
    const int64_t w = r.right - r.left, h = r.bottom - r.top;
    const RGBColor fg = options.foreground, bg = options.background;
    int64_t mismatches = 0;
    for (int32_t y = 0; y < c.height; ++y) {
      for (int32_t x = 0; x < c.width; ++x) {
        const bool inside = y >= r.top && y < r.bottom && x >= r.left && x < r.right;
        int64_t number = 0;
        if (inside) {
          const int64_t position = c.draw == 0 ? (y - r.top) * w + (x - r.left)
                                               : SpiralPosition(y - r.top, x - r.left, w, h);
          number = position + c.shift;
        }
        const RGBColor& colour = IsPrime(number) ? fg : bg;
        const uint16_t components[3] = {colour.red, colour.green, colour.blue};
        for (int32_t p = 0; p < ImagePlanes(image); ++p) {
          const bool painted = inside && p < c.colorPlanes;
          const uint16_t expected = painted ? Painted(components[p], c.depth) : GetSample(original, x, y, p);
          if (GetSample(image, x, y, p) != expected && ++mismatches <= 5)
            ADD_FAILURE() << "pixel (" << x << "," << y << ") plane " << p << ": " << GetSample(image, x, y, p)
                          << " expected " << expected;
        }
      }
    }
    EXPECT_EQ(mismatches, 0);
  }

  HostImage original;
  HostRunReport report;
};

std::vector<ProgressCall> ExpectedProgress(int32_t pixels, int32_t shift, bool spiral) {
  const int32_t total = 2 * pixels;
  std::vector<ProgressCall> expected;
  for (int32_t j = 1000; j < pixels + shift; j += 1000) expected.push_back({j, total});
  expected.push_back({pixels, total});
  if (!spiral) {
    for (int32_t i = 0; i < pixels; i += 1000) expected.push_back({pixels + i, total});
  } else {
    for (int32_t k = 1000; k < pixels; k += 1000) expected.push_back({pixels + k / 2, total});
    expected.push_back({pixels + pixels / 2, total});
    for (int32_t j = 0; j < pixels; j += 1000) expected.push_back({pixels + pixels / 2 + j / 2, total});
  }
  expected.push_back({total, total});
  return expected;
}

// Polls: one per report in the sieve and layout rows, none at the ends.
int32_t ExpectedPolls(int32_t pixels, int32_t shift, bool spiral) {
  return static_cast<int32_t>(ExpectedProgress(pixels, shift, spiral).size()) - (spiral ? 3 : 2);
}

}  // namespace

TEST_F(PlotPipeline, MatchesTheOracleAcrossShapesDepthsAndShifts) {
  const PlotCase cases[] = {
      {10, 1, 1, false, 8, {0, 0, 1, 10}, 0, 0},
      {5, 4, 3, false, 8, {0, 0, 4, 5}, 1, 0},
      {1, 9, 1, false, 16, {0, 0, 9, 1}, 1, 2},
      {97, 61, 3, true, 8, {0, 0, 61, 97}, 1, 41},
      {120, 80, 3, false, 16, {7, 11, 70, 101}, 0, 65535},
      {120, 80, 1, true, 16, {7, 11, 70, 101}, 1, 1000},
      {64, 64, 1, false, 8, {0, 0, 64, 64}, 1, 1},
      {3, 3, 3, true, 16, {0, 0, 3, 3}, 0, 0},
  };
  HostOptions options;
  options.foreground = {65535, 32768, 0};
  options.background = {1000, 65535, 20000};
  for (const PlotCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " planes " << c.colorPlanes << (c.alpha ? "+a" : "")
                                    << " depth " << c.depth << " draw " << c.draw << " shift " << c.shift);
    Plot(c, options);
    ASSERT_EQ(report.result, noErr) << report.error;
    ExpectPlot(c, options);
    TearDown();
  }
}

TEST_F(PlotPipeline, TransparencyReportedAfterTheColourPlanesPassesThrough) {
  HostOptions options;
  options.alphaReport = AlphaReport::AfterPlanes;
  const PlotCase c = {40, 30, 3, true, 16, {0, 0, 30, 40}, 1, 7};
  Plot(c, options);
  ASSERT_EQ(report.result, noErr) << report.error;
  ExpectPlot(c, options);
}

TEST_F(PlotPipeline, OldHostsWithoutColumnBytesGetTheSamePlot) {
  HostOptions options;
  options.zeroColumnBytes = true;
  options.rowPaddingBytes = 13;
  const PlotCase c = {50, 20, 3, true, 8, {2, 5, 18, 45}, 1, 3};
  Plot(c, options);
  ASSERT_EQ(report.result, noErr) << report.error;
  ExpectPlot(c, options);
  EXPECT_EQ(session->log.rowPaddingDamaged, 0);
}

TEST_F(PlotPipeline, UnknownLayoutLeavesTheImageAsItWas) {
  const PlotCase c = {30, 20, 3, false, 8, {0, 0, 20, 30}, 2, 0};
  Plot(c, HostOptions{});
  ASSERT_EQ(report.result, noErr) << report.error;
  EXPECT_EQ(image.pixels, original.pixels);
}

TEST_F(PlotPipeline, ReportsProgressExactlyAsDocumented) {
  for (int16_t draw : {int16_t(0), int16_t(1)}) {
    for (uint16_t shift : {uint16_t(0), uint16_t(1500), uint16_t(7000)}) {
      SCOPED_TRACE(testing::Message() << "draw " << draw << " shift " << shift);
      const PlotCase c = {70, 50, 3, false, 8, {0, 0, 50, 70}, draw, shift};
      Plot(c, HostOptions{});
      ASSERT_EQ(report.result, noErr) << report.error;
      const std::vector<ProgressCall> expected = ExpectedProgress(3500, shift, draw == 1);
      ASSERT_EQ(report.progress.size(), expected.size());
      for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(report.progress[i].done, expected[i].done) << "report " << i;
        EXPECT_EQ(report.progress[i].total, expected[i].total) << "report " << i;
      }
      EXPECT_EQ(report.abortPolls, ExpectedPolls(3500, shift, draw == 1));
      TearDown();
    }
  }
}

TEST_F(PlotPipeline, CancelInAnyPhaseLeavesTheOutputUnwritten) {
  // 3500 pixels and shift 1500: polls 1-4 fall in the sieve, then the
  // layout rows (normal: 4 polls; spiral: 3 in the walk, then 4 colouring).
  struct Cancel {
    int16_t draw;
    int32_t poll;
  };
  const Cancel cancels[] = {{0, 1}, {0, 4}, {0, 5}, {0, 8}, {1, 2}, {1, 5}, {1, 7}, {1, 8}, {1, 11}};
  for (const Cancel& cancel : cancels) {
    SCOPED_TRACE(testing::Message() << "draw " << cancel.draw << " cancelled at poll " << cancel.poll);
    HostOptions options;
    options.abortAtPoll = cancel.poll;
    Open(options);
    const FilterParameters values = {cancel.draw, 1500};
    ASSERT_TRUE(SetParameters(session, &values, sizeof values));
    Begin(70, 50, Rect{0, 0, 50, 70});
    const HostImage before = image;
    ASSERT_EQ(CallPluginMain(session, filterSelectorStart), noErr);
    EXPECT_EQ(CallPluginMain(session, filterSelectorContinue), userCanceledErr);
    EXPECT_EQ(session->log.abortPolls, cancel.poll);
    // The output buffer still holds what the host delivered.
    const FilterRecord* record = session->record;
    ASSERT_NE(record->outData, nullptr);
    const uint8_t* out = static_cast<const uint8_t*>(record->outData);
    int32_t changed = 0;
    for (int32_t y = 0; y < 50; ++y)
      for (int32_t x = 0; x < 70; ++x)
        for (int32_t p = 0; p < 3; ++p)
          changed += out[y * record->outRowBytes + x * 3 + p] != GetSample(before, x, y, p);
    EXPECT_EQ(changed, 0);
    for (const ProgressCall& call : session->log.progress) EXPECT_NE(call.done, 7000);
    EXPECT_EQ(image.pixels, before.pixels);
    TearDown();
  }
}

namespace {

// Every thread of the process passes through the loader's TLS callbacks when
// it starts and when it ends, before its handle is signalled: counting here
// sees each worker, however short its life.
volatile LONG threadsStarted = 0;
volatile LONG threadsEnded = 0;

void NTAPI CountThreadEvents(PVOID, DWORD reason, PVOID) {
  if (reason == DLL_THREAD_ATTACH) InterlockedIncrement(&threadsStarted);
  if (reason == DLL_THREAD_DETACH) InterlockedIncrement(&threadsEnded);
}

extern "C" __attribute__((section(".CRT$XLV"), used)) const PIMAGE_TLS_CALLBACK countThreadEvents =
    CountThreadEvents;

// Whether a poll or a report came on another thread than the host's.
struct ThreadsSeen {
  bool otherThread = false;
  DWORD host = 0;
  int32_t slowPoll = 0;  // the poll the host takes its time over
};

void NoteThreads(int32_t poll, void* context) {
  ThreadsSeen* seen = static_cast<ThreadsSeen*>(context);
  if (GetCurrentThreadId() != seen->host) seen->otherThread = true;
  if (poll == seen->slowPoll) Sleep(100);
}

void NoteReportThread(int32_t, int32_t, void* context) {
  ThreadsSeen* seen = static_cast<ThreadsSeen*>(context);
  if (GetCurrentThreadId() != seen->host) seen->otherThread = true;
}

}  // namespace

TEST_F(PlotPipeline, WorkerThreadsHelpOnlyInsideTheCallAndNeverCallTheHost) {
  // Seven stretches of the sieve to share, so that workers run while the
  // host's thread makes the polls.
  ThreadsSeen seen;
  seen.host = GetCurrentThreadId();
  // The first of the layout's polls, after the sieve's 5999: the workers,
  // waiting for the host's thread to finish its polls, fall asleep and must
  // be woken to paint.
  seen.slowPoll = 6000;
  HostOptions options;
  options.pollHook = NoteThreads;
  options.pollContext = &seen;
  options.progressHook = NoteReportThread;
  options.progressContext = &seen;
  Open(options);
  const FilterParameters values = {drawSpiral, 0};
  ASSERT_TRUE(SetParameters(session, &values, sizeof values));
  Begin(3000, 2000, Rect{0, 0, 2000, 3000});
  ASSERT_EQ(CallPluginMain(session, filterSelectorStart), noErr);
  const LONG startedBefore = threadsStarted, endedBefore = threadsEnded;
  EXPECT_EQ(CallPluginMain(session, filterSelectorContinue), noErr);
  const LONG started = threadsStarted - startedBefore, ended = threadsEnded - endedBefore;
  EXPECT_EQ(ended, started) << "a worker outlived the call";
  EXPECT_FALSE(seen.otherThread);
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  if (system.dwNumberOfProcessors > 1) {
    EXPECT_GT(started, 0);
  }
  EXPECT_EQ(session->log.abortPolls, ExpectedPolls(6000000, 0, true));
}

TEST_F(PlotPipeline, UnderWineAMegapixelStaysOnTheHostsThread) {
  // A wine thread begins milliseconds after it is made: longer than this
  // run takes on the host's thread alone.
  Open();
  Begin(1000, 1000, Rect{0, 0, 1000, 1000});
  ASSERT_EQ(CallPluginMain(session, filterSelectorStart), noErr);
  const LONG startedBefore = threadsStarted;
  EXPECT_EQ(CallPluginMain(session, filterSelectorContinue), noErr);
  EXPECT_EQ(threadsStarted - startedBefore, 0);
}
