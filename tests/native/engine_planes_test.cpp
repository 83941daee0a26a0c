#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "engine/plane_buffers.h"
#include "engine_test_host.h"

namespace {

const RGBColor kForeground = {65535, 32768, 0};   // 8-bit 255, 128, 0
const RGBColor kBackground = {0, 13107, 65535};   // 8-bit 0, 51, 255

int Untouched(const TestImage& image) { return image.bytesPerSample == 2 ? kUntouched * 257 : kUntouched; }

int PassedThrough(const TestImage& image, int sample) {
  return image.bytesPerSample == 2 ? std::min(sample, 32768) : sample;
}

// Checks every sample of the output: inside the processing rectangle the
// painted planes hold `fore` or `back` as the pixel's number is prime, the
// planes up to 8 what was read, the planes beyond and the samples outside
// the rectangle what the output held before.
void ExpectPlot(const TestImage& image, int16_t draw, uint16_t shift, const std::vector<int>& fore,
                const std::vector<int>& back) {
  const Rect& area = image.globals.processRect;
  const std::vector<bool> prime = ExpectedForeground(area.right - area.left, area.bottom - area.top, draw, shift);
  for (int row = 0; row < image.height; ++row)
    for (int column = 0; column < image.width; ++column) {
      const bool inside = row >= area.top && row < area.bottom && column >= area.left && column < area.right;
      for (int plane = 0; plane < image.planes; ++plane) {
        int expected = Untouched(image);
        if (inside && plane < static_cast<int>(fore.size())) {
          const size_t index = static_cast<size_t>(row - area.top) * (area.right - area.left) + (column - area.left);
          expected = prime[index] ? fore[plane] : back[plane];
        } else if (inside && plane < kMaxPlaneBuffers) {
          expected = PassedThrough(image, InputSample(image, row, column, plane));
        }
        ASSERT_EQ(OutputSample(image, row, column, plane), expected)
            << "row " << row << " column " << column << " plane " << plane;
      }
    }
}

std::unique_ptr<TestImage> ColoredImage(int width, int height, int planes, int bytesPerSample, int16_t draw,
                                        uint16_t shift) {
  auto image = MakeImage(width, height, planes, bytesPerSample);
  image->record.foreground = kForeground;
  image->record.background = kBackground;
  image->parameters = {draw, shift};
  return image;
}

// Writes `values` through a one-row grayscale image and returns the samples.
std::vector<int> Quantised(int bytesPerSample, const std::vector<float>& values) {
  const int width = static_cast<int>(values.size());
  auto image = MakeImage(width, 1, 1, bytesPerSample);
  PlaneLayout layout;
  EXPECT_EQ(DescribePlanes(&image->globals, &layout), noErr);
  PlaneBuffers buffers;
  EXPECT_EQ(AllocatePlaneBuffers(layout, &buffers), noErr);
  std::copy(values.begin(), values.end(), buffers.plane[0]);
  WritePlanes(layout, buffers);
  ReleasePlaneBuffers(&buffers);
  std::vector<int> samples;
  for (int column = 0; column < width; ++column) samples.push_back(OutputSample(*image, 0, column, 0));
  return samples;
}

class HostAppScope {
 public:
  explicit HostAppScope(int32_t host) : saved_(HostApp) { HostApp = host; }
  ~HostAppScope() { HostApp = saved_; }

 private:
  int32_t saved_;
};

}  // namespace

TEST(WritePlanes, RoundsHalfAwayFromZeroAndClamps) {
  EXPECT_EQ(Quantised(1, {0.5f, 1.2f, -0.1f, 1.0f, 0.0f, 0.498f, 0.502f}),
            (std::vector<int>{128, 255, 0, 255, 0, 127, 128}));
  EXPECT_EQ(Quantised(2, {1.0f, 0.5f, 1.5f, 2.0f, -0.1f, 0.5f / 32768, 32767.5f / 32768}),
            (std::vector<int>{32768, 16384, 32768, 32768, 0, 1, 32768}));
  EXPECT_EQ(LiveEngineBlocks(), 0);
}

TEST(PlotPrimes, UnknownLayoutGivesBackEverySampleAsRead) {
  auto gray8 = MakeImage(256, 1, 1, 1);
  for (int value = 0; value < 256; ++value) SetInputSample(gray8.get(), 0, value, 0, value);
  auto gray16 = MakeImage(256, 256, 1, 2);
  for (int value = 0; value < 65536; ++value) SetInputSample(gray16.get(), value / 256, value % 256, 0, value);
  auto rgba16 = MakeImage(19, 7, 4, 2);
  for (TestImage* image : {gray8.get(), gray16.get(), rgba16.get()}) {
    image->parameters = {2, 0};
    RunPlot(image);
    EXPECT_EQ(image->result, noErr);
    ExpectPlot(*image, 2, 0, {}, {});
    const int32_t pixels = image->width * image->height;
    EXPECT_EQ(hostLog.progress.back(), (ProgressCall{2 * pixels, 2 * pixels}));
  }
}

TEST(PlotPrimes, PaintsColorPlanesAndKeepsTransparency) {
  for (int16_t draw : {drawNormal, drawSpiral}) {
    auto grayAlpha8 = ColoredImage(23, 11, 2, 1, draw, 5);
    RunPlot(grayAlpha8.get());
    ExpectPlot(*grayAlpha8, draw, 5, {255}, {0});

    auto grayAlpha16 = ColoredImage(23, 11, 2, 2, draw, 5);
    RunPlot(grayAlpha16.get());
    ExpectPlot(*grayAlpha16, draw, 5, {32768}, {0});

    auto rgba8 = ColoredImage(23, 11, 4, 1, draw, 5);
    RunPlot(rgba8.get());
    ExpectPlot(*rgba8, draw, 5, {255, 128, 0}, {0, 51, 255});

    auto rgba16 = ColoredImage(23, 11, 4, 2, draw, 5);
    RunPlot(rgba16.get());
    ExpectPlot(*rgba16, draw, 5, {32768, 16384, 0}, {0, 6554, 32768});

    auto rgb8 = ColoredImage(23, 11, 3, 1, draw, 5);
    RunPlot(rgb8.get());
    ExpectPlot(*rgb8, draw, 5, {255, 128, 0}, {0, 51, 255});
  }
}

TEST(PlotPrimes, FireworksColorsAreEightBitValues) {
  HostAppScope fireworks(hostFireworks);
  auto rgb8 = ColoredImage(9, 5, 3, 1, drawNormal, 0);
  rgb8->record.foreground = {255, 128, 0};
  rgb8->record.background = {0, 51, 65535};  // far beyond 1.0, clamped
  RunPlot(rgb8.get());
  ExpectPlot(*rgb8, drawNormal, 0, {255, 128, 0}, {0, 51, 255});

  auto rgb16 = ColoredImage(9, 5, 3, 2, drawNormal, 0);
  rgb16->record.foreground = {255, 128, 0};
  rgb16->record.background = {0, 51, 65535};
  RunPlot(rgb16.get());
  ExpectPlot(*rgb16, drawNormal, 0, {32768, 16448, 0}, {0, 6554, 32768});
}

TEST(PlotPrimes, RectangleInsideLargerBuffersIsNumberedFromItsOwnCorner) {
  for (int16_t draw : {drawNormal, drawSpiral})
    for (bool columnBytesGiven : {true, false}) {
      auto image = ColoredImage(12, 6, 3, 2, draw, 1);
      SetRect(&image->globals.processRect, 1, 3, 5, 10);
      if (!columnBytesGiven) {
        // Hosts of interfaces before 3.0 leave these at 0.
        image->record.inColumnBytes = 0;
        image->record.outColumnBytes = 0;
      }
      RunPlot(image.get());
      EXPECT_EQ(image->result, noErr);
      ExpectPlot(*image, draw, 1, {32768, 16384, 0}, {0, 6554, 32768});
    }
}

TEST(PlotPrimes, PlanesBeyondTheColorKeepTheirInput) {
  auto fivePlanes = ColoredImage(13, 7, 5, 1, drawSpiral, 3);
  RunPlot(fivePlanes.get());
  EXPECT_EQ(fivePlanes->result, noErr);
  ExpectPlot(*fivePlanes, drawSpiral, 3, {255, 128, 0}, {0, 51, 255});

  // Planes from 8 on are neither read nor written.
  auto ninePlanes = ColoredImage(13, 7, 9, 2, drawNormal, 3);
  RunPlot(ninePlanes.get());
  EXPECT_EQ(ninePlanes->result, noErr);
  ExpectPlot(*ninePlanes, drawNormal, 3, {32768, 16384, 0}, {0, 6554, 32768});
}
