#include <gtest/gtest.h>

#include <vector>

#include "engine/spiral.h"
#include "engine_test_host.h"

namespace {

std::vector<int32_t> WalkedGrid(int width, int height, uint16_t shift) {
  std::vector<int32_t> grid(static_cast<size_t>(width) * height, 0);
  const PlotProgress silent = {nullptr, nullptr, int64_t{width} * height};
  EXPECT_EQ(WalkSpiral(grid.data(), width, height, shift, silent), noErr);
  return grid;
}

std::vector<bool> Plotted(int width, int height, int16_t draw, uint16_t shift) {
  auto image = MakeImage(width, height);
  image->parameters = {draw, shift};
  RunPlot(image.get());
  EXPECT_EQ(image->result, noErr);
  return ForegroundPixels(*image);
}

std::vector<bool> Pixels(std::initializer_list<int> flags) {
  std::vector<bool> pixels;
  for (int flag : flags) pixels.push_back(flag != 0);
  return pixels;
}

}  // namespace

TEST(WalkSpiral, NumbersFiveByFourInwardsFromTheTopLeft) {
  const std::vector<int32_t> expected = {0,  1,  2,  3,  4,   //
                                         13, 14, 15, 16, 5,   //
                                         12, 19, 18, 17, 6,   //
                                         11, 10, 9,  8,  7};
  EXPECT_EQ(WalkedGrid(5, 4, 0), expected);
}

TEST(WalkSpiral, AgreesWithRingArithmeticOnEveryShape) {
  for (int width = 1; width <= 12; ++width)
    for (int height = 1; height <= 12; ++height)
      for (uint16_t shift : {0, 1, 65535}) {
        const std::vector<int32_t> grid = WalkedGrid(width, height, shift);
        for (int row = 0; row < height; ++row)
          for (int column = 0; column < width; ++column)
            ASSERT_EQ(grid[static_cast<size_t>(row) * width + column],
                      SpiralPosition(width, height, row, column) + shift)
                << width << "x" << height << " shift " << shift << " at " << row << "," << column;
      }
}

TEST(PlotPrimes, SmallPlotsFromTheSpecimenCases) {
  // Normal layout, one row: numbers 0..9, primes 2, 3, 5, 7.
  EXPECT_EQ(Plotted(10, 1, drawNormal, 0), Pixels({0, 0, 1, 1, 0, 1, 0, 1, 0, 0}));
  // 2 x 2 spiral: 0 1 / 3 2, so the bottom row is prime.
  EXPECT_EQ(Plotted(2, 2, drawSpiral, 0), Pixels({0, 0, 1, 1}));
  // 5 x 4 spiral: primes at the pixels numbered 2, 3, 5, 7, 11, 13, 17, 19.
  EXPECT_EQ(Plotted(5, 4, drawSpiral, 0), Pixels({0, 0, 1, 1, 0,  //
                                                  1, 0, 0, 0, 1,  //
                                                  0, 1, 0, 1, 0,  //
                                                  1, 0, 0, 0, 1}));
  // One row or one column of the spiral runs straight along it.
  EXPECT_EQ(Plotted(10, 1, drawSpiral, 0), Pixels({0, 0, 1, 1, 0, 1, 0, 1, 0, 0}));
  EXPECT_EQ(Plotted(1, 10, drawSpiral, 0), Pixels({0, 0, 1, 1, 0, 1, 0, 1, 0, 0}));
}

TEST(PlotPrimes, SinglePixelCarriesTheShiftItself) {
  for (int16_t draw : {drawNormal, drawSpiral}) {
    EXPECT_EQ(Plotted(1, 1, draw, 0), Pixels({0})) << "draw " << draw;
    EXPECT_EQ(Plotted(1, 1, draw, 1), Pixels({0})) << "draw " << draw;
    EXPECT_EQ(Plotted(1, 1, draw, 2), Pixels({1})) << "draw " << draw;
    EXPECT_EQ(Plotted(1, 1, draw, 65521), Pixels({1})) << "draw " << draw;  // the largest 16-bit prime
  }
}

TEST(PlotPrimes, NoPrimeBelowThreeLeavesEverythingBackground) {
  EXPECT_EQ(Plotted(2, 1, drawNormal, 0), Pixels({0, 0}));
  EXPECT_EQ(Plotted(1, 2, drawSpiral, 0), Pixels({0, 0}));
  EXPECT_EQ(Plotted(1, 1, drawNormal, 1), Pixels({0}));
}

TEST(PlotPrimes, MatchesTrialDivisionOverManyShapesAndShifts) {
  struct Shape {
    int width;
    int height;
  };
  const Shape shapes[] = {{3, 3}, {4, 7}, {7, 4}, {37, 23}, {64, 3}, {3, 64}, {100, 100}, {1, 1500}, {1500, 1}, {61, 59}};
  for (const Shape& shape : shapes)
    for (int16_t draw : {drawNormal, drawSpiral})
      for (uint16_t shift : {0, 1, 2, 997, 1000, 4093, 65535}) {
        EXPECT_EQ(Plotted(shape.width, shape.height, draw, shift),
                  ExpectedForeground(shape.width, shape.height, draw, shift))
            << shape.width << "x" << shape.height << " draw " << draw << " shift " << shift;
      }
}
