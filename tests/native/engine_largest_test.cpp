// The largest image a host can hand over, 32767 x 32767 pixels, far beyond
// what the reference form can hold: with the largest shift its numbers run
// from 65535 to 2^30 - 1, and pi(2^30) = 54,400,028 and pi(2^16) = 6,542
// are published values, so exactly 54,393,486 pixels are foreground.
#include <gtest/gtest.h>

#include <random>

#include "engine_test_host.h"

TEST(LargestImage, CountsThePrimesBelowTwoToTheThirtiethInBothLayouts) {
  constexpr int kSide = 32767;
  constexpr size_t kPixels = size_t{kSide} * kSide;
  std::vector<uint8_t> pixels(kPixels);  // one gray plane, 1 GB
  int16_t layout = plotLayoutNormal;
  const Rect bounds = {0, 0, kSide, kSide};
  PlotJob job = {};
  // A single plane is painted throughout, never read: input and output may share.
  job.input = job.output = {pixels.data(), kSide, 1, bounds};
  job.area = bounds;
  job.planes = 1;
  job.bytesPerSample = 1;
  job.foreground = {1.0, 1.0, 1.0};
  job.shift = 65535;
  job.layout = &layout;
  for (int16_t each : {plotLayoutNormal, plotLayoutSpiral}) {
    layout = each;
    std::fill(pixels.begin(), pixels.end(), uint8_t{kUntouched});
    ASSERT_EQ(RunPlotJob(job), noErr);
    EXPECT_EQ(std::count(pixels.begin(), pixels.end(), uint8_t{255}), 54393486) << "layout " << each;
    // And pixel by pixel, by trial division, at random places.
    std::mt19937 random(unsigned(each) + 1);
    for (int i = 0; i < 500; ++i) {
      const int row = int(random() % kSide), column = int(random() % kSide);
      const int64_t position = each == plotLayoutSpiral ? SpiralPosition(kSide, kSide, row, column)
                                                        : int64_t{row} * kSide + column;
      ASSERT_EQ(pixels[size_t(row) * kSide + size_t(column)] == 255, IsPrime(position + 65535))
          << "row " << row << " column " << column << " layout " << each;
    }
  }
}
