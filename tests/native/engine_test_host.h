// An in-memory host for the engine tests: a FilterRecord and FilterGlobals
// around pixel buffers of our own, callbacks that log what the engine asks
// of the host, and independent oracles for the expected plots.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <ostream>
#include <vector>

#include "engine/engine_testing.h"
#include "engine/plot_primes.h"
#include "host/globals.h"
#include "host/host_api.h"

struct ProgressCall {
  int32_t done;
  int32_t total;
  bool operator==(const ProgressCall& other) const { return done == other.done && total == other.total; }
};

inline std::ostream& operator<<(std::ostream& out, const ProgressCall& call) {
  return out << "(" << call.done << ", " << call.total << ")";
}

struct HostLog {
  std::vector<ProgressCall> progress;
  int polls = 0;
  int abortAtPoll = 0;  // the poll that answers "stop"; 0 never does
};

inline HostLog hostLog;

inline void PI_CALL LogProgress(int32_t done, int32_t total) { hostLog.progress.push_back({done, total}); }

inline Boolean PI_CALL LogAbortPoll() { return ++hostLog.polls == hostLog.abortAtPoll ? 1 : 0; }

// What the output buffer holds before a run; a run that writes nothing leaves it.
constexpr uint8_t kUntouched = 0xEE;

struct TestImage {
  int width = 0;
  int height = 0;
  int planes = 0;
  int bytesPerSample = 1;
  int32_t rowBytes = 0;
  std::vector<uint8_t> input;
  std::vector<uint8_t> output;
  FilterRecord record{};
  FilterGlobals globals{};
  FilterParameters parameters{};
  char* parametersBlock = nullptr;  // what the parameters handle points at
  int16_t result = noErr;
};

inline void SetRect(Rect* rect, int top, int left, int bottom, int right) {
  *rect = {static_cast<int16_t>(top), static_cast<int16_t>(left), static_cast<int16_t>(bottom),
           static_cast<int16_t>(right)};
}

// A width x height image of interleaved planes, buffers sized to the byte
// (rows a few bytes apart beyond the pixels, the last row cut short) so that
// any stray access shows under the sanitizers. The input holds a pattern, the
// output kUntouched; foreground white, background black, plotted in full.
inline std::unique_ptr<TestImage> MakeImage(int width, int height, int planes = 1, int bytesPerSample = 1) {
  auto image = std::make_unique<TestImage>();
  image->width = width;
  image->height = height;
  image->planes = planes;
  image->bytesPerSample = bytesPerSample;
  const int32_t pixelBytes = planes * bytesPerSample;
  image->rowBytes = width * pixelBytes + 3;
  const size_t size = static_cast<size_t>(height - 1) * image->rowBytes + static_cast<size_t>(width) * pixelBytes;
  image->input.resize(size);
  for (size_t i = 0; i < size; ++i) image->input[i] = static_cast<uint8_t>(i * 37 + 11);
  image->output.assign(size, kUntouched);

  FilterRecord& record = image->record;
  record.planes = static_cast<int16_t>(planes);
  const bool gray = planes <= 2;
  record.imageMode = bytesPerSample == 2 ? (gray ? plugInModeGray16 : plugInModeRGB48)
                                         : (gray ? plugInModeGrayScale : plugInModeRGBColor);
  SetRect(&record.filterRect, 0, 0, height, width);
  record.inRect = record.filterRect;
  record.outRect = record.filterRect;
  record.inData = image->input.data();
  record.outData = image->output.data();
  record.inRowBytes = image->rowBytes;
  record.outRowBytes = image->rowBytes;
  record.inColumnBytes = pixelBytes;
  record.outColumnBytes = pixelBytes;
  record.foreground = {65535, 65535, 65535};
  record.background = {0, 0, 0};
  record.progressProc = LogProgress;
  record.abortProc = LogAbortPoll;
  image->parametersBlock = reinterpret_cast<char*>(&image->parameters);
  record.parameters = &image->parametersBlock;

  image->globals.result = &image->result;
  image->globals.filterRecord = &record;
  SetRect(&image->globals.processRect, 0, 0, height, width);
  return image;
}

inline size_t SampleOffset(const TestImage& image, int row, int column, int plane) {
  return static_cast<size_t>(row) * image.rowBytes +
         static_cast<size_t>((column * image.planes + plane) * image.bytesPerSample);
}

inline int SampleAt(const TestImage& image, const std::vector<uint8_t>& buffer, int row, int column, int plane) {
  const size_t offset = SampleOffset(image, row, column, plane);
  if (image.bytesPerSample == 1) return buffer[offset];
  uint16_t sample;
  std::memcpy(&sample, &buffer[offset], sizeof sample);
  return sample;
}

inline int InputSample(const TestImage& image, int row, int column, int plane) {
  return SampleAt(image, image.input, row, column, plane);
}

inline int OutputSample(const TestImage& image, int row, int column, int plane) {
  return SampleAt(image, image.output, row, column, plane);
}

inline void SetInputSample(TestImage* image, int row, int column, int plane, int value) {
  const size_t offset = SampleOffset(*image, row, column, plane);
  if (image->bytesPerSample == 1) {
    image->input[offset] = static_cast<uint8_t>(value);
  } else {
    const uint16_t sample = static_cast<uint16_t>(value);
    std::memcpy(&image->input[offset], &sample, sizeof sample);
  }
}

// Runs the engine with a fresh log; `abortAtPoll` picks the poll that cancels.
inline void RunPlot(TestImage* image, bool reportProgress = true, int abortAtPoll = 0) {
  hostLog = HostLog{};
  hostLog.abortAtPoll = abortAtPoll;
  PlotPrimes(&image->globals, reportProgress);
}

// Plane 0 of the processing rectangle, row-major: true where the foreground landed.
inline std::vector<bool> ForegroundPixels(const TestImage& image) {
  const Rect& area = image.globals.processRect;
  const int ceiling = image.bytesPerSample == 2 ? 32768 : 255;
  std::vector<bool> foreground;
  for (int row = area.top; row < area.bottom; ++row)
    for (int column = area.left; column < area.right; ++column)
      foreground.push_back(OutputSample(image, row, column, 0) == ceiling);
  return foreground;
}

inline bool IsPrimeByTrialDivision(int64_t n) {
  if (n < 2) return false;
  for (int64_t divisor = 2; divisor * divisor <= n; ++divisor)
    if (n % divisor == 0) return false;
  return true;
}

// The spiral position of a pixel from ring arithmetic: the pixels of the
// outer rings, then the place along its own ring (top, right, bottom, left).
inline int64_t SpiralPosition(int64_t width, int64_t height, int64_t row, int64_t column) {
  const int64_t ring = std::min(std::min(row, column), std::min(height - 1 - row, width - 1 - column));
  const int64_t ringWidth = width - 2 * ring;
  const int64_t ringHeight = height - 2 * ring;
  const int64_t outer = width * height - ringWidth * ringHeight;
  const int64_t y = row - ring;
  const int64_t x = column - ring;
  if (y == 0) return outer + x;
  if (x == ringWidth - 1) return outer + (ringWidth - 1) + y;
  if (y == ringHeight - 1) return outer + (ringWidth - 1) + (ringHeight - 1) + (ringWidth - 1 - x);
  return outer + 2 * (ringWidth - 1) + (ringHeight - 1) + (ringHeight - 1 - y);
}

// Row-major over a width x height rectangle: whether each pixel's number is prime.
inline std::vector<bool> ExpectedForeground(int width, int height, int16_t draw, uint16_t shift) {
  std::vector<bool> expected;
  for (int row = 0; row < height; ++row)
    for (int column = 0; column < width; ++column) {
      const int64_t position = draw == drawSpiral ? SpiralPosition(width, height, row, column)
                                                  : int64_t{row} * width + column;
      expected.push_back(IsPrimeByTrialDivision(position + shift));
    }
  return expected;
}
