// How a run meets the host: progress, abort, and every way it can fail.
#include <gtest/gtest.h>

#include <functional>

#include "engine_test_host.h"

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

}  // namespace

TEST(PlotProgress, ReportsEveryPhaseAtEachThousandthStep) {
  struct Case {
    int side;
    int16_t draw;
    uint16_t shift;
    Calls calls;
  };
  const Case cases[] = {
      {50, drawNormal, 0, kNormal},
      {50, drawSpiral, 0, kSpiral},
      {50, drawNormal, 1500, OutOf(5000, {1000, 2000, 3000, 2500, 2500, 3500, 4500, 5000})},
      {50, drawSpiral, 3000,
       OutOf(5000, {1000, 2000, 3000, 4000, 5000, 2500, 3000, 3500, 3750, 3750, 4250, 4750, 5000})},
      // A shift beyond P takes the sieve's reports past the total.
      {10, drawNormal, 2500, OutOf(200, {1000, 2000, 100, 100, 200})},
  };
  for (const Case& c : cases) {
    auto image = MakeImage(c.side, c.side, 1, 1, c.draw, c.shift);
    image->result = 17;
    RunPlot(image.get());
    EXPECT_EQ(progressCalls, c.calls) << "draw " << c.draw << " shift " << c.shift;
    EXPECT_EQ(image->result, 17);  // a completed run leaves the word alone
  }
}

TEST(PlotProgress, PollsAtTheSameStepsWithoutReporting) {
  for (int16_t draw : {drawNormal, drawSpiral}) {
    auto image = MakeImage(50, 50, 1, 1, draw);
    RunPlot(image.get(), false);
    EXPECT_TRUE(progressCalls.empty());
    EXPECT_EQ(abortPolls, draw == drawSpiral ? 7 : 5);
    EXPECT_EQ(ForegroundPixels(*image), ExpectedForeground(50, 50, draw, 0));
  }
}

TEST(PlotCancel, StopsInEveryPhaseWithNothingWritten) {
  // {layout, the poll that stops, reports made by then}: sieve, painting;
  // sieve, walk, painting, each at its first and last poll.
  const int cases[][3] = {{drawNormal, 1, 1}, {drawNormal, 2, 2}, {drawNormal, 3, 4},
                          {drawNormal, 5, 6}, {drawSpiral, 1, 1}, {drawSpiral, 3, 4},
                          {drawSpiral, 4, 5}, {drawSpiral, 5, 7}, {drawSpiral, 7, 9}};
  for (const auto& c : cases) {
    auto image = MakeImage(50, 50, 3, 1, int16_t(c[0]));
    RunPlot(image.get(), true, c[1]);
    const Calls& all = c[0] == drawSpiral ? kSpiral : kNormal;
    EXPECT_EQ(image->result, userCanceledErr);
    EXPECT_EQ(abortPolls, c[1]);
    EXPECT_EQ(progressCalls, Calls(all.begin(), all.begin() + c[2])) << "draw " << c[0] << " poll " << c[1];
    EXPECT_TRUE(OutputUntouched(*image));
    EXPECT_EQ(LiveWorkingBlocks(), 0);
  }
}

TEST(PlotPrimes, EmptyRectangleDoesNothingAtAll) {
  auto image = MakeImage(8, 8);
  image->record.inData = nullptr;  // not even looked at
  image->result = 5;
  for (const Rect& empty : {Rect{0, 0, 0, 8}, Rect{0, 0, 8, 0}, Rect{4, 2, 3, 6}, Rect{2, 6, 4, 5}}) {
    image->globals.processRect = empty;
    RunPlot(image.get());
    EXPECT_TRUE(progressCalls.empty() && abortPolls == 0 && OutputUntouched(*image));
    EXPECT_EQ(image->result, 5);
  }
}

TEST(PlotPrimes, RefusedMemoryEndsTheRunLikeACancel) {
  // RGB in the spiral layout takes five blocks: three planes, the prime
  // table, the grid. Each in turn is refused.
  for (int granted = 0; granted <= 5; ++granted) {
    auto image = MakeImage(40, 30, 3, 1, drawSpiral, 7);
    RefuseMemoryAfter(granted);
    RunPlot(image.get());
    RefuseMemoryAfter(-1);
    EXPECT_EQ(LiveWorkingBlocks(), 0);
    const bool ran = granted == 5;
    EXPECT_EQ(image->result, ran ? noErr : memFullErr) << granted;
    EXPECT_EQ(OutputUntouched(*image), !ran) << granted;
    EXPECT_EQ(std::count(progressCalls.begin(), progressCalls.end(), ProgressCall{2400, 2400}), ran ? 1 : 0);
  }
}

TEST(PlotPrimes, LargestRectangleIsSizedWithoutOverflow) {
  // 32767 x 32767 RGBA at 16 bits: 8.6 GB of host pixels, 4.3 GB per plane.
  // Only the sizes are looked at before the first plane is refused.
  auto image = MakeImage(1, 1, 4, 2);
  SetRect(&image->record.inRect, 0, 0, 32767, 32767);
  image->record.outRect = image->record.inRect;
  image->globals.processRect = image->record.inRect;
  image->record.inRowBytes = image->record.outRowBytes = 32767 * 8;
  RefuseMemoryAfter(0);
  RunPlot(image.get());
  RefuseMemoryAfter(-1);
  EXPECT_EQ(image->result, memFullErr);
  EXPECT_TRUE(OutputUntouched(*image) && progressCalls.empty());
}

TEST(PlotPrimes, BuffersThatCannotHoldTheRectangleAreNeverTouched) {
  // A 9 x 6 RGB image, plotted over rows 0..4 and columns 1..7.
  const std::pair<const char*, std::function<void(TestImage*)>> cases[] = {
      {"no input", [](TestImage* image) { image->record.inData = nullptr; }},
      {"no output", [](TestImage* image) { image->record.outData = nullptr; }},
      {"above the buffers", [](TestImage* image) { SetRect(&image->globals.processRect, -1, 0, 5, 8); }},
      {"left of the buffers", [](TestImage* image) { SetRect(&image->globals.processRect, 0, -2, 5, 8); }},
      {"right of both", [](TestImage* image) { SetRect(&image->globals.processRect, 0, 0, 6, 10); }},
      {"below the input", [](TestImage* image) { SetRect(&image->record.inRect, 10, 0, 14, 9); }},
      {"right of the output", [](TestImage* image) { SetRect(&image->record.outRect, 0, 4, 6, 11); }},
      {"input rows too short", [](TestImage* image) { image->record.inRowBytes = 9 * 3 - 1; }},
      {"output rows of 0", [](TestImage* image) { image->record.outRowBytes = 0; }},
      {"rows upwards", [](TestImage* image) { image->record.outRowBytes = -image->rowBytes; }},
      {"negative column bytes", [](TestImage* image) { image->record.inColumnBytes = -3; }},
      {"column bytes beyond the row", [](TestImage* image) { image->record.outColumnBytes = 4; }},
      {"more planes than the pixels hold", [](TestImage* image) { image->record.planes = 4; }},
      {"no planes", [](TestImage* image) { image->record.planes = 0; }},
      {"no parameters block", [](TestImage* image) { image->parametersBlock = nullptr; }},
  };
  for (const auto& c : cases) {
    auto image = MakeImage(9, 6, 3, 1);
    SetRect(&image->globals.processRect, 0, 1, 5, 8);
    c.second(image.get());
    RunPlot(image.get());
    EXPECT_EQ(image->result, filterBadParameters) << c.first;
    EXPECT_TRUE(OutputUntouched(*image) && progressCalls.empty() && abortPolls == 0) << c.first;
    EXPECT_EQ(LiveWorkingBlocks(), 0) << c.first;
  }
}

TEST(PlotPrimes, HostWithoutCallbacksStillPlots) {
  auto image = MakeImage(40, 40, 1, 1, drawSpiral);
  image->record.progressProc = nullptr;
  image->record.abortProc = nullptr;
  RunPlot(image.get());
  EXPECT_EQ(image->result, noErr);
  EXPECT_EQ(ForegroundPixels(*image), ExpectedForeground(40, 40, drawSpiral, 0));
}

TEST(PlotPrimes, GrayImagesWithExtraChannelsPaintOnlyTheGrayPlane) {
  // A gray image carrying two extra channels: three planes, all 8-bit.
  for (int16_t mode : {plugInModeGrayScale, plugInModeGray16}) {
    const int bytes = mode == plugInModeGray16 ? 2 : 1;
    auto image = MakeImage(12, 5, 3, bytes);
    image->record.imageMode = mode;
    RunPlot(image.get());
    ASSERT_EQ(image->result, noErr) << mode;
    EXPECT_EQ(ForegroundPixels(*image), ExpectedForeground(12, 5, drawNormal, 0)) << mode;
    for (int row = 0; row < 5; ++row)
      for (int column = 0; column < 12; ++column)
        for (int plane = 1; plane < 3; ++plane)
          // Passed through as read; the pattern's 16-bit values beyond the host's 32768 are clamped.
          ASSERT_EQ(SampleOf(*image, image->output, row, column, plane),
                    std::min(SampleOf(*image, image->input, row, column, plane), bytes == 2 ? 32768 : 255))
              << mode << " plane " << plane;
  }
}
