#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "engine_test_host.h"

namespace {

bool OutputUntouched(const TestImage& image) {
  for (uint8_t byte : image.output)
    if (byte != kUntouched) return false;
  return true;
}

struct RefusalScope {
  explicit RefusalScope(int allocations) { RefuseEngineMemoryAfter(allocations); }
  ~RefusalScope() { RefuseEngineMemoryAfter(-1); }
};

}  // namespace

TEST(PlotPrimes, RefusedMemoryEndsTheRunLikeACancel) {
  // RGB in the spiral layout takes five blocks: three planes, the prime
  // table, the grid. Each in turn is refused.
  for (int granted = 0; granted <= 5; ++granted) {
    auto image = MakeImage(40, 30, 3, 1);
    image->parameters = {drawSpiral, 7};
    {
      RefusalScope refusal(granted);
      RunPlot(image.get());
    }
    EXPECT_EQ(LiveEngineBlocks(), 0) << granted;
    if (granted == 5) {
      EXPECT_EQ(image->result, noErr);
      EXPECT_EQ(ForegroundPixels(*image), ExpectedForeground(40, 30, drawSpiral, 7));
      continue;
    }
    EXPECT_EQ(image->result, memFullErr) << granted;
    EXPECT_TRUE(OutputUntouched(*image)) << granted;
    EXPECT_EQ(std::count(hostLog.progress.begin(), hostLog.progress.end(), ProgressCall{2400, 2400}), 0)
        << granted;
  }
}

TEST(PlotPrimes, BuffersThatCannotHoldTheRectangleAreNeverTouched) {
  struct Case {
    const char* what;
    std::function<void(TestImage*)> spoil;
  };
  const Case cases[] = {
      {"no input", [](TestImage* image) { image->record.inData = nullptr; }},
      {"no output", [](TestImage* image) { image->record.outData = nullptr; }},
      {"above the buffers", [](TestImage* image) { SetRect(&image->globals.processRect, -1, 0, 5, 8); }},
      {"left of the buffers", [](TestImage* image) { SetRect(&image->globals.processRect, 0, -2, 5, 8); }},
      {"below the input", [](TestImage* image) { SetRect(&image->record.inRect, 10, 0, 14, 9); }},
      {"right of the output", [](TestImage* image) { SetRect(&image->record.outRect, 0, 4, 6, 11); }},
      {"beyond both", [](TestImage* image) { SetRect(&image->globals.processRect, 0, 0, 6, 10); }},
      {"input rows too short", [](TestImage* image) { image->record.inRowBytes = 8 * 3 - 1; }},
      {"output rows too short", [](TestImage* image) { image->record.outRowBytes = 0; }},
      {"negative row bytes", [](TestImage* image) { image->record.outRowBytes = -image->rowBytes; }},
      {"negative column bytes", [](TestImage* image) { image->record.inColumnBytes = -3; }},
      {"pixels wider than a row", [](TestImage* image) { image->record.planes = 4; }},
      {"column bytes beyond the row", [](TestImage* image) { image->record.outColumnBytes = 4; }},
      {"no planes", [](TestImage* image) { image->record.planes = 0; }},
      {"no parameters block", [](TestImage* image) { image->parametersBlock = nullptr; }},
  };
  for (const Case& c : cases) {
    auto image = MakeImage(9, 6, 3, 1);
    SetRect(&image->globals.processRect, 0, 1, 5, 8);
    c.spoil(image.get());
    RunPlot(image.get());
    EXPECT_EQ(image->result, filterBadParameters) << c.what;
    EXPECT_TRUE(OutputUntouched(*image)) << c.what;
    EXPECT_TRUE(hostLog.progress.empty()) << c.what;
    EXPECT_EQ(hostLog.polls, 0) << c.what;
    EXPECT_EQ(LiveEngineBlocks(), 0) << c.what;
  }
}

TEST(PlotPrimes, HostWithoutCallbacksStillPlots) {
  auto image = MakeImage(40, 40);
  image->parameters = {drawSpiral, 0};
  image->record.progressProc = nullptr;
  image->record.abortProc = nullptr;
  RunPlot(image.get());
  EXPECT_EQ(image->result, noErr);
  EXPECT_EQ(ForegroundPixels(*image), ExpectedForeground(40, 40, drawSpiral, 0));
}
