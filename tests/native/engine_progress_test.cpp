#include <gtest/gtest.h>

#include <vector>

#include "engine_test_host.h"

namespace {

using Calls = std::vector<ProgressCall>;

// 50 x 50 pixels: P = 2500, every report out of 5000.
std::unique_ptr<TestImage> SquareOf2500(int16_t draw, uint16_t shift) {
  auto image = MakeImage(50, 50);
  image->parameters = {draw, shift};
  return image;
}

const Calls kNormal = {{1000, 5000}, {2000, 5000},                // sieve
                       {2500, 5000},                              // sieve done
                       {2500, 5000}, {3500, 5000}, {4500, 5000},  // painting
                       {5000, 5000}};                             // written back
const Calls kSpiral = {{1000, 5000}, {2000, 5000},                // sieve
                       {2500, 5000},                              // sieve done
                       {3000, 5000}, {3500, 5000},                // walk, k = 1000, 2000
                       {3750, 5000},                              // walk done
                       {3750, 5000}, {4250, 5000}, {4750, 5000},  // painting
                       {5000, 5000}};                             // written back

Calls FirstCalls(const Calls& calls, size_t count) { return Calls(calls.begin(), calls.begin() + count); }

bool OutputUntouched(const TestImage& image) {
  for (uint8_t byte : image.output)
    if (byte != kUntouched) return false;
  return true;
}

}  // namespace

TEST(PlotProgress, ReportsEachPhaseAtEveryThousandthStep) {
  auto image = SquareOf2500(drawNormal, 0);
  RunPlot(image.get());
  EXPECT_EQ(hostLog.progress, kNormal);
  EXPECT_EQ(hostLog.polls, 5);

  image = SquareOf2500(drawSpiral, 0);
  RunPlot(image.get());
  EXPECT_EQ(hostLog.progress, kSpiral);
  EXPECT_EQ(hostLog.polls, 7);
}

TEST(PlotProgress, SieveReportsRunPastPWithAShift) {
  auto image = SquareOf2500(drawNormal, 1500);
  RunPlot(image.get());
  EXPECT_EQ(hostLog.progress, (Calls{{1000, 5000}, {2000, 5000}, {3000, 5000}, {2500, 5000}, {2500, 5000},
                                     {3500, 5000}, {4500, 5000}, {5000, 5000}}));

  image = SquareOf2500(drawSpiral, 3000);
  RunPlot(image.get());
  EXPECT_EQ(hostLog.progress, (Calls{{1000, 5000}, {2000, 5000}, {3000, 5000}, {4000, 5000}, {5000, 5000},
                                     {2500, 5000}, {3000, 5000}, {3500, 5000}, {3750, 5000}, {3750, 5000},
                                     {4250, 5000}, {4750, 5000}, {5000, 5000}}));

  // With the shift beyond P the sieve's reports even pass the total.
  image = MakeImage(10, 10);
  image->parameters = {drawNormal, 2500};
  RunPlot(image.get());
  EXPECT_EQ(hostLog.progress, (Calls{{1000, 200}, {2000, 200}, {100, 200}, {100, 200}, {200, 200}}));
}

TEST(PlotProgress, PollsTheSameWithoutReporting) {
  auto image = SquareOf2500(drawSpiral, 0);
  RunPlot(image.get(), false);
  EXPECT_TRUE(hostLog.progress.empty());
  EXPECT_EQ(hostLog.polls, 7);
  EXPECT_EQ(ForegroundPixels(*image), ExpectedForeground(50, 50, drawSpiral, 0));
}

TEST(PlotProgress, CompletedRunLeavesTheResultWordAlone) {
  auto image = SquareOf2500(drawNormal, 0);
  image->result = 17;
  RunPlot(image.get());
  EXPECT_EQ(image->result, 17);
}

TEST(PlotCancel, StopsInEveryPhaseWithNothingWritten) {
  struct Case {
    const char* phase;
    int16_t draw;
    int abortAtPoll;
    size_t reportsMade;
  };
  const Case cases[] = {
      {"sieve", drawNormal, 2, 2},      {"normal painting", drawNormal, 3, 4}, {"normal painting end", drawNormal, 5, 6},
      {"spiral sieve", drawSpiral, 1, 1}, {"spiral walk", drawSpiral, 3, 4},   {"spiral walk end", drawSpiral, 4, 5},
      {"spiral painting", drawSpiral, 5, 7}, {"spiral painting end", drawSpiral, 7, 9},
  };
  for (const Case& c : cases) {
    auto image = SquareOf2500(c.draw, 0);
    RunPlot(image.get(), true, c.abortAtPoll);
    EXPECT_EQ(image->result, userCanceledErr) << c.phase;
    EXPECT_EQ(hostLog.polls, c.abortAtPoll) << c.phase;
    EXPECT_EQ(hostLog.progress, FirstCalls(c.draw == drawSpiral ? kSpiral : kNormal, c.reportsMade)) << c.phase;
    EXPECT_TRUE(OutputUntouched(*image)) << c.phase;
    EXPECT_EQ(LiveEngineBlocks(), 0) << c.phase;
  }
}

TEST(PlotPrimes, EmptyRectangleDoesNothingAtAll) {
  auto image = MakeImage(8, 8);
  image->record.inData = nullptr;  // not even looked at
  image->result = 5;
  for (const Rect& empty : {Rect{0, 0, 0, 8}, Rect{0, 0, 8, 0}, Rect{4, 2, 3, 6}, Rect{2, 6, 4, 5}}) {
    image->globals.processRect = empty;
    RunPlot(image.get());
    EXPECT_TRUE(hostLog.progress.empty());
    EXPECT_EQ(hostLog.polls, 0);
    EXPECT_EQ(image->result, 5);
    EXPECT_TRUE(OutputUntouched(*image));
  }
}
