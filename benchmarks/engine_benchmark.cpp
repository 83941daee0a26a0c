// Full plots at 1, 10 and 100 megapixels in both layouts, 8-bit RGB and
// 16-bit RGBA, each beside a memset of the same output buffer as the floor.
//
// Counters: ms_per_MP is wall time per megapixel; peak_MB is the most heap
// the run held beyond the image buffers, from mallinfo2() (arena bytes in
// use plus mmap'ed blocks) sampled in the progress callback, which the engine
// calls throughout every phase with its working memory allocated.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/plot_primes.h"
#include "host/globals.h"
#include "host/host_api.h"

namespace {

struct Format {
  const char* name;
  int planes;
  int bytesPerSample;
  int16_t imageMode;
};

const Format kRgb8 = {"rgb8", 3, 1, plugInModeRGBColor};
const Format kRgba16 = {"rgba16", 4, 2, plugInModeRGB48};

struct Size {
  const char* name;
  int width;
  int height;
  int iterations;  // 0: as many as the library likes
};

const Size kSizes[] = {{"1MP", 1000, 1000, 0}, {"10MP", 4000, 2500, 3}, {"100MP", 10000, 10000, 2}};

struct BenchImage {
  int width = 0;
  int height = 0;
  const Format* format = nullptr;
  std::vector<uint8_t> input;
  std::vector<uint8_t> output;
  FilterRecord record{};
  FilterGlobals globals{};
  FilterParameters parameters{};
  char* parametersBlock = nullptr;
  int16_t result = noErr;
};

// One image at a time: the 100-megapixel 16-bit buffers alone take 1.6 GB.
std::unique_ptr<BenchImage> cachedImage;

size_t HeapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

size_t heapPeak = 0;
int progressCalls = 0;

void PI_CALL SampleHeap(int32_t, int32_t) {
  if (progressCalls++ % 16 == 0) heapPeak = std::max(heapPeak, HeapInUse());
}

Boolean PI_CALL NeverAbort() { return 0; }

BenchImage* ImageFor(const Size& size, const Format& format) {
  if (cachedImage && cachedImage->width == size.width && cachedImage->height == size.height &&
      cachedImage->format == &format)
    return cachedImage.get();
  cachedImage.reset();
  auto image = std::make_unique<BenchImage>();
  image->width = size.width;
  image->height = size.height;
  image->format = &format;
  const int32_t rowBytes = size.width * format.planes * format.bytesPerSample;
  const size_t bytes = static_cast<size_t>(rowBytes) * size.height;
  image->input.resize(bytes);
  for (size_t i = 0; i < bytes; ++i) image->input[i] = static_cast<uint8_t>(i * 2654435761u >> 13);
  image->output.assign(bytes, 0);

  FilterRecord& record = image->record;
  record.planes = static_cast<int16_t>(format.planes);
  record.imageMode = format.imageMode;
  record.inRect = {0, 0, static_cast<int16_t>(size.height), static_cast<int16_t>(size.width)};
  record.outRect = record.inRect;
  record.filterRect = record.inRect;
  record.inData = image->input.data();
  record.outData = image->output.data();
  record.inRowBytes = rowBytes;
  record.outRowBytes = rowBytes;
  record.inColumnBytes = format.planes * format.bytesPerSample;
  record.outColumnBytes = record.inColumnBytes;
  record.foreground = {65535, 40000, 0};
  record.background = {0, 0, 65535};
  record.progressProc = SampleHeap;
  record.abortProc = NeverAbort;
  image->parametersBlock = reinterpret_cast<char*>(&image->parameters);
  record.parameters = &image->parametersBlock;
  image->globals.result = &image->result;
  image->globals.filterRecord = &record;
  image->globals.processRect = record.inRect;
  cachedImage = std::move(image);
  return cachedImage.get();
}

using Clock = std::chrono::steady_clock;

void SetPerMegapixel(benchmark::State& state, const BenchImage& image, Clock::duration elapsed) {
  const double megapixels = static_cast<double>(image.width) * image.height / 1e6;
  const double milliseconds = std::chrono::duration<double, std::milli>(elapsed).count();
  state.counters["ms_per_MP"] = milliseconds / (megapixels * static_cast<double>(state.iterations()));
}

void MemsetFloor(benchmark::State& state, const Size& size, const Format& format) {
  BenchImage* image = ImageFor(size, format);
  int fill = 0;
  const Clock::time_point start = Clock::now();
  for (auto _ : state) {
    std::memset(image->output.data(), ++fill & 0xFF, image->output.size());
    benchmark::ClobberMemory();
  }
  SetPerMegapixel(state, *image, Clock::now() - start);
}

void Plot(benchmark::State& state, const Size& size, const Format& format, int16_t draw) {
  BenchImage* image = ImageFor(size, format);
  image->parameters = {draw, 0};
  size_t peak = 0;
  const Clock::time_point start = Clock::now();
  for (auto _ : state) {
    const size_t baseline = HeapInUse();
    heapPeak = baseline;
    progressCalls = 0;
    PlotPrimes(&image->globals, true);
    benchmark::ClobberMemory();
    peak = std::max(peak, heapPeak - baseline);
  }
  const Clock::duration elapsed = Clock::now() - start;
  if (image->result != noErr) state.SkipWithError("the plot failed");
  SetPerMegapixel(state, *image, elapsed);
  state.counters["peak_MB"] = static_cast<double>(peak) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  // Ordered so that each image is built once for its three benchmarks.
  for (const Size& size : kSizes)
    for (const Format* format : {&kRgb8, &kRgba16}) {
      const std::string suffix = std::string(format->name) + "/" + size.name;
      benchmark::internal::Benchmark* runs[] = {
          benchmark::RegisterBenchmark(("memset_floor/" + suffix).c_str(), MemsetFloor, size, *format),
          benchmark::RegisterBenchmark(("plot_normal/" + suffix).c_str(), Plot, size, *format, drawNormal),
          benchmark::RegisterBenchmark(("plot_spiral/" + suffix).c_str(), Plot, size, *format, drawSpiral),
      };
      for (benchmark::internal::Benchmark* run : runs) {
        run->Unit(benchmark::kMillisecond)->UseRealTime();
        if (size.iterations > 0) run->Iterations(size.iterations);
      }
    }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
