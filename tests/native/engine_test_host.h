// An in-memory host for the engine tests: a plot job around buffers of our
// own, callbacks that log what the engine asks of the host, and independent
// oracles (trial division, ring arithmetic).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "engine/plot_job.h"
#include "host/platform_testing.h"

struct ProgressCall {
  int32_t done;
  int32_t total;
  bool operator==(const ProgressCall& other) const { return done == other.done && total == other.total; }
};
inline std::ostream& operator<<(std::ostream& out, const ProgressCall& call) {
  return out << "(" << call.done << ", " << call.total << ")";
}

// What a run asked of the host, in order: progress reports and abort polls
// (a poll is logged as done -1).
inline std::vector<ProgressCall> progressCalls;
inline std::vector<ProgressCall> hostCalls;
inline int abortPolls = 0;
inline int abortAtPoll = 0;  // the poll that answers "stop"; 0: none
inline void PI_CALL LogProgress(int32_t done, int32_t total) {
  progressCalls.push_back({done, total});
  hostCalls.push_back({done, total});
}
inline Boolean PI_CALL LogAbortPoll() {
  hostCalls.push_back({-1, 0});
  return ++abortPolls == abortAtPoll;
}

constexpr uint8_t kUntouched = 0xEE;  // the output before a run

struct TestImage {
  int width, height, planes, bytesPerSample;
  int32_t rowBytes;
  std::vector<uint8_t> input, output;
  int16_t layout;
  PlotJob job;
};

inline void SetRect(Rect* rect, int top, int left, int bottom, int right) {
  *rect = {int16_t(top), int16_t(left), int16_t(bottom), int16_t(right)};
}

// Interleaved planes in buffers sized to the byte (rows `padding` bytes apart
// beyond the pixels, the last row cut short), so that a stray access shows
// under the sanitizers. Input holds a pattern; white on black; the whole
// buffer plotted.
inline std::unique_ptr<TestImage> MakeImage(int width, int height, int planes = 1, int bytesPerSample = 1,
                                            int16_t layout = plotLayoutNormal, uint16_t shift = 0,
                                            int padding = 3) {
  auto image = std::make_unique<TestImage>(TestImage{width, height, planes, bytesPerSample, 0, {}, {}, layout, {}});
  const int32_t pixelBytes = planes * bytesPerSample;
  image->rowBytes = width * pixelBytes + padding;
  const size_t size = size_t(height - 1) * image->rowBytes + size_t(width) * pixelBytes;
  for (size_t i = 0; i < size; ++i) image->input.push_back(uint8_t(i * 37 + 11));
  image->output.assign(size, kUntouched);
  PlotJob& job = image->job;
  Rect bounds;
  SetRect(&bounds, 0, 0, height, width);
  job.input = {image->input.data(), image->rowBytes, pixelBytes, bounds};
  job.output = {image->output.data(), image->rowBytes, pixelBytes, bounds};
  job.area = bounds;
  job.planes = planes;
  job.bytesPerSample = bytesPerSample;
  job.foreground = {1.0, 1.0, 1.0};
  job.background = {0.0, 0.0, 0.0};
  job.shift = shift;
  job.layout = &image->layout;
  job.progressProc = LogProgress;
  job.abortProc = LogAbortPoll;
  return image;
}

inline int SampleOf(const TestImage& image, const std::vector<uint8_t>& buffer, int row, int column,
                    int plane) {
  const uint8_t* at =
      &buffer[size_t(row) * image.rowBytes + size_t((column * image.planes + plane) * image.bytesPerSample)];
  if (image.bytesPerSample == 1) return *at;
  uint16_t wide;
  std::memcpy(&wide, at, sizeof wide);
  return wide;
}

using PlotEngine = OSErr (*)(const PlotJob&);

// Names the engine under test in parameterised suites.
inline std::string EngineName(const ::testing::TestParamInfo<PlotEngine>& engine) {
  return engine.param == RunPlotJob ? "engine" : "reference";
}

inline OSErr RunPlot(TestImage* image, int stopAtPoll = 0, PlotEngine engine = RunPlotJob) {
  progressCalls.clear();
  hostCalls.clear();
  abortPolls = 0;
  abortAtPoll = stopAtPoll;
  return engine(image->job);
}

inline bool OutputUntouched(const TestImage& image) {
  return std::all_of(image.output.begin(), image.output.end(),
                     [](uint8_t byte) { return byte == kUntouched; });
}

// Plane 0 over the plotted rectangle, row-major: where the foreground landed.
inline std::vector<bool> ForegroundPixels(const TestImage& image) {
  const Rect& area = image.job.area;
  std::vector<bool> foreground;
  for (int row = area.top; row < area.bottom; ++row)
    for (int column = area.left; column < area.right; ++column)
      foreground.push_back(SampleOf(image, image.output, row, column, 0) ==
                           (image.bytesPerSample == 2 ? 32768 : 255));
  return foreground;
}

inline bool IsPrime(int64_t n) {
  for (int64_t divisor = 2; divisor * divisor <= n; ++divisor)
    if (n % divisor == 0) return false;
  return n >= 2;
}

// The pixels of the outer rings, then the place along the pixel's own ring.
inline int64_t SpiralPosition(int64_t width, int64_t height, int64_t row, int64_t column) {
  const int64_t ring = std::min({row, column, height - 1 - row, width - 1 - column});
  const int64_t w = width - 2 * ring, h = height - 2 * ring, y = row - ring, x = column - ring;
  const int64_t outer = width * height - w * h;
  if (y == 0) return outer + x;
  if (x == w - 1) return outer + (w - 1) + y;
  if (y == h - 1) return outer + 2 * (w - 1) + (h - 1) - x;
  return outer + 2 * (w - 1) + 2 * (h - 1) - y;
}

// Row-major over width x height: whether each pixel's number is prime.
inline std::vector<bool> ExpectedForeground(int width, int height, int16_t layout, uint16_t shift) {
  std::vector<bool> expected;
  for (int row = 0; row < height; ++row)
    for (int column = 0; column < width; ++column)
      expected.push_back(IsPrime(shift + (layout == plotLayoutSpiral ? SpiralPosition(width, height, row, column)
                                                                     : int64_t{row} * width + column)));
  return expected;
}
