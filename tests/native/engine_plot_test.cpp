// What a plot paints: numbering, primes, colours, planes and rounding,
// checked against trial division for the engine and its reference form.
#include <gtest/gtest.h>

#include "engine_test_host.h"
#include "tests/native/reference/plane_buffers.h"
#include "tests/native/reference/reference_plot.h"
#include "tests/native/reference/spiral.h"

namespace {

class Plotting : public ::testing::TestWithParam<PlotEngine> {
 protected:
  std::vector<bool> Plotted(int width, int height, int16_t layout, uint16_t shift) {
    auto image = MakeImage(width, height, 1, 1, layout, shift);
    EXPECT_EQ(RunPlot(image.get(), 0, GetParam()), noErr);
    return ForegroundPixels(*image);
  }

  std::unique_ptr<TestImage> Colored(int planes, int bytesPerSample, int16_t layout) {
    auto image = MakeImage(23, 11, planes, bytesPerSample, layout, 5);
    image->job.foreground = {1.0, 32768 / 65535.0, 0.0};
    image->job.background = {0.0, 13107 / 65535.0, 1.0};
    EXPECT_EQ(RunPlot(image.get(), 0, GetParam()), noErr);
    return image;
  }
};

// Every output sample: inside the plotted rectangle the painted planes hold
// `fore` or `back` as the pixel's number is prime and planes 3..7 what was
// read (16-bit capped at 32768); elsewhere, and from plane 8 on, the output
// is untouched.
void ExpectPlot(const TestImage& image, const std::vector<int>& fore, const std::vector<int>& back) {
  const Rect& area = image.job.area;
  const int width = area.right - area.left;
  const std::vector<bool> prime = ExpectedForeground(width, area.bottom - area.top, image.layout, image.job.shift);
  for (int row = 0; row < image.height; ++row)
    for (int column = 0; column < image.width; ++column)
      for (int plane = 0; plane < image.planes; ++plane) {
        const bool inside =
            row >= area.top && row < area.bottom && column >= area.left && column < area.right;
        int expected = image.bytesPerSample == 2 ? kUntouched * 257 : kUntouched;
        if (inside && plane < int(fore.size()))
          expected = prime[size_t(row - area.top) * width + (column - area.left)] ? fore[plane] : back[plane];
        else if (inside && plane < kMaxCopiedPlanes)
          expected = std::min(SampleOf(image, image.input, row, column, plane),
                              image.bytesPerSample == 2 ? 32768 : 255);
        ASSERT_EQ(SampleOf(image, image.output, row, column, plane), expected)
            << "row " << row << " column " << column << " plane " << plane;
      }
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Plot, Plotting, ::testing::Values(RunPlotJob, ReferencePlot), EngineName);

TEST_P(Plotting, PaintsThePrimesOfSmallRectangles) {
  struct Case {
    int width, height;
    int16_t layout;
    uint16_t shift;
    std::vector<bool> foreground;
  };
  const Case cases[] = {
      {10, 1, plotLayoutNormal, 0, {0, 0, 1, 1, 0, 1, 0, 1, 0, 0}},
      {2, 2, plotLayoutSpiral, 0, {0, 0, 1, 1}},
      {5, 4, plotLayoutSpiral, 0, {0, 0, 1, 1, 0, 1, 0, 0, 0, 1, 0, 1, 0, 1, 0, 1, 0, 0, 0, 1}},
      {10, 1, plotLayoutSpiral, 0, {0, 0, 1, 1, 0, 1, 0, 1, 0, 0}},
      {1, 10, plotLayoutSpiral, 0, {0, 0, 1, 1, 0, 1, 0, 1, 0, 0}},
      {1, 1, plotLayoutSpiral, 0, {0}},
      {1, 1, plotLayoutSpiral, 1, {0}},
      {1, 1, plotLayoutSpiral, 2, {1}},
      {1, 1, plotLayoutNormal, 2, {1}},
      {1, 1, plotLayoutNormal, 65521, {1}},
      {2, 1, plotLayoutNormal, 0, {0, 0}},
      {1, 2, plotLayoutSpiral, 0, {0, 0}},  // nothing prime below 3
  };
  for (const Case& c : cases)
    EXPECT_EQ(Plotted(c.width, c.height, c.layout, c.shift), c.foreground)
        << c.width << "x" << c.height << " layout " << c.layout << " shift " << c.shift;
}

TEST_P(Plotting, MatchesTrialDivisionOverManyShapesAndShifts) {
  const int shapes[][2] = {{3, 3},   {4, 7},     {7, 4},    {37, 23},  {64, 3},  {3, 64},
                           {100, 100}, {1, 1500}, {1500, 1}, {61, 59}, {300, 7}, {7, 300}};
  for (const auto& shape : shapes)
    for (int16_t layout : {plotLayoutNormal, plotLayoutSpiral})
      for (uint16_t shift : {0, 1, 2, 7, 29, 30, 31, 997, 1000, 4093, 65535})
        EXPECT_EQ(Plotted(shape[0], shape[1], layout, shift), ExpectedForeground(shape[0], shape[1], layout, shift))
            << shape[0] << "x" << shape[1] << " layout " << layout << " shift " << shift;
}

TEST_P(Plotting, PaintsRedOrRgbAndKeepsEveryOtherPlane) {
  for (int16_t layout : {plotLayoutNormal, plotLayoutSpiral}) {
    ExpectPlot(*Colored(1, 1, layout), {255}, {0});
    ExpectPlot(*Colored(2, 1, layout), {255}, {0});  // gray with transparency
    ExpectPlot(*Colored(2, 2, layout), {32768}, {0});
    ExpectPlot(*Colored(3, 1, layout), {255, 128, 0}, {0, 51, 255});
    ExpectPlot(*Colored(4, 1, layout), {255, 128, 0}, {0, 51, 255});  // RGB with transparency
    ExpectPlot(*Colored(4, 2, layout), {32768, 16384, 0}, {0, 6554, 32768});
    ExpectPlot(*Colored(5, 1, layout), {255, 128, 0}, {0, 51, 255});          // extra channels keep their input
    ExpectPlot(*Colored(9, 2, layout), {32768, 16384, 0}, {0, 6554, 32768});  // plane 8 is never touched
  }
}

TEST_P(Plotting, ColoursBeyondTheRangeAreClamped) {
  for (int bytesPerSample : {1, 2}) {
    auto image = MakeImage(9, 5, 3, bytesPerSample);
    image->job.foreground = {1.0, 128 / 255.0, -0.25};
    image->job.background = {0.0, 0.2, 257.0};
    EXPECT_EQ(RunPlot(image.get(), 0, GetParam()), noErr);
    if (bytesPerSample == 1)
      ExpectPlot(*image, {255, 128, 0}, {0, 51, 255});
    else
      ExpectPlot(*image, {32768, 16448, 0}, {0, 6554, 32768});
  }
}

TEST_P(Plotting, RectangleInsideLargerBuffersIsNumberedFromItsOwnCorner) {
  for (int16_t layout : {plotLayoutNormal, plotLayoutSpiral})
    for (int32_t columnBytes : {6, 0}) {  // 0: hosts of interfaces before 3.0
      auto image = MakeImage(12, 6, 3, 2, layout, 1);
      SetRect(&image->job.area, 1, 3, 5, 10);
      image->job.input.columnBytes = image->job.output.columnBytes = columnBytes;
      EXPECT_EQ(RunPlot(image.get(), 0, GetParam()), noErr);
      ExpectPlot(*image, {32768, 32768, 32768}, {0, 0, 0});
    }
}

TEST_P(Plotting, UnknownLayoutGivesBackEverySampleAsRead) {
  std::unique_ptr<TestImage> images[] = {MakeImage(256, 1, 1, 1, 2), MakeImage(256, 256, 1, 2, -1),
                                         MakeImage(19, 7, 4, 2, 2), MakeImage(19, 7, 9, 1, 2)};
  for (int value = 0; value < 256; ++value) images[0]->input[size_t(value)] = uint8_t(value);
  for (int value = 0; value < 65536; ++value) {
    const uint16_t sample = uint16_t(value);
    std::memcpy(&images[1]->input[size_t(value / 256) * images[1]->rowBytes + size_t(value % 256) * 2],
                &sample, 2);
  }
  for (auto& image : images) {
    EXPECT_EQ(RunPlot(image.get(), 0, GetParam()), noErr);
    ExpectPlot(*image, {}, {});
    const int32_t total = 2 * image->width * image->height;
    EXPECT_EQ(progressCalls.back(), (ProgressCall{total, total}));
  }
}

// ---- The reference form's own parts ----

TEST(ReferenceWalk, NumbersInwardsClockwiseOnEveryShape) {
  auto walked = [](int width, int height, uint16_t shift) {
    std::vector<int32_t> grid(size_t(width) * height, 0);
    EXPECT_EQ(WalkSpiral(grid.data(), width, height, shift, {nullptr, nullptr, width * height}), noErr);
    return grid;
  };
  EXPECT_EQ(walked(5, 4, 0),
            (std::vector<int32_t>{0, 1, 2, 3, 4, 13, 14, 15, 16, 5, 12, 19, 18, 17, 6, 11, 10, 9, 8, 7}));
  for (int width = 1; width <= 12; ++width)
    for (int height = 1; height <= 12; ++height)
      for (uint16_t shift : {0, 1, 65535}) {
        std::vector<int32_t> expected;
        for (int row = 0; row < height; ++row)
          for (int column = 0; column < width; ++column)
            expected.push_back(int32_t(SpiralPosition(width, height, row, column) + shift));
        ASSERT_EQ(walked(width, height, shift), expected) << width << "x" << height << " shift " << shift;
      }
}

TEST(ReferenceWritePlanes, RoundsHalfAwayFromZeroAndClamps) {
  struct Case {
    int bytesPerSample;
    std::vector<float> values;
    std::vector<int> samples;
  };
  const Case cases[] = {
      {1, {0.5f, 1.2f, -0.1f, 1.0f, 0.0f, 0.498f, 0.502f}, {128, 255, 0, 255, 0, 127, 128}},
      {2, {1.0f, 0.5f, 1.5f, -0.1f, 0.5f / 32768, 32767.5f / 32768}, {32768, 16384, 32768, 0, 1, 32768}},
  };
  for (const Case& c : cases) {
    auto image = MakeImage(int(c.values.size()), 1, 1, c.bytesPerSample);
    PlotGeometry layout;
    PlaneBuffers buffers;
    ASSERT_EQ(LocatePlot(image->job, &layout), noErr);
    ASSERT_EQ(AllocatePlaneBuffers(layout, &buffers), noErr);
    std::copy(c.values.begin(), c.values.end(), buffers.plane[0]);
    WritePlanes(layout, buffers);
    ReleasePlaneBuffers(&buffers);
    for (size_t i = 0; i < c.samples.size(); ++i)
      EXPECT_EQ(SampleOf(*image, image->output, 0, int(i), 0), c.samples[i]);
  }
}
