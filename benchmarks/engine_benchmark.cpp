// Whole plots beside their floors, in one run: for each size and format,
// libprimesieve counting the primes below the same N (single thread) and a
// memset of the same output buffer, then the engine and the reference form
// in both layouts. At the end a table gives each plot as a multiple of
// (sieve floor + memset floor).
//
// The engine runs on as many lanes as the machine has processors, and on one.
//
// Counters: ms_per_MP is wall time per megapixel; peak_MB the most working
// memory the plot held at once, beyond the host's buffers; tail_ms the time
// from the last abort poll to the end of the run.
#include <benchmark/benchmark.h>
#include <primesieve.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/plot_job.h"
#include "host/platform.h"
#include "host/platform_testing.h"
#include "tests/native/reference/reference_plot.h"

namespace {

struct Format {
  const char* name;
  int planes;
  int bytesPerSample;
};

const Format kRgb8 = {"rgb8", 3, 1};
const Format kRgba16 = {"rgba16", 4, 2};
// Every kind of image, at the sizes a user's photographs have.
const Format kEveryFormat[] = {{"gray8", 1, 1},  {"graya8", 2, 1}, kRgb8,           {"rgba8", 4, 1},
                               {"gray16", 1, 2}, {"graya16", 2, 2}, {"rgb16", 3, 2}, kRgba16};

struct Size {
  const char* name;
  int width;
  int height;
  int iterations;           // 0: as many as the library likes
  bool reference;           // false: its working memory would not fit
  int referenceIterations;  // it takes 20 to 60 ms per megapixel
};

const Size kSizes[] = {{"1MP", 1000, 1000, 0, true, 0},
                       {"10MP", 4000, 2500, 5, true, 3},
                       {"100MP", 10000, 10000, 3, true, 1},
                       {"400MP", 20000, 20000, 2, true, 1}};
const Size kPhotoSizes[] = {{"16MP", 4000, 4000, 5, false, 0}, {"48MP", 8000, 6000, 3, false, 0}};
const Size kLargest = {"32767x32767", 32767, 32767, 2, false, 0};

struct BenchImage {
  const Size* size = nullptr;
  const Format* format = nullptr;
  std::vector<uint8_t> input;
  std::vector<uint8_t> output;
  int16_t layout = plotLayoutNormal;
  PlotJob job{};
};

// One image at a time: the 400-megapixel 16-bit buffers alone take 6.4 GB.
std::unique_ptr<BenchImage> cachedImage;

Boolean PI_CALL NeverAbort() { return 0; }
void PI_CALL IgnoreProgress(int32_t, int32_t) {}

using PlotEngine = OSErr (*)(const PlotJob&);

BenchImage* ImageFor(const Size& size, const Format& format) {
  if (cachedImage && cachedImage->size == &size && cachedImage->format == &format) return cachedImage.get();
  cachedImage.reset();
  auto image = std::make_unique<BenchImage>();
  image->size = &size;
  image->format = &format;
  const int32_t pixelBytes = format.planes * format.bytesPerSample;
  const int32_t rowBytes = size.width * pixelBytes;
  const size_t bytes = static_cast<size_t>(rowBytes) * static_cast<size_t>(size.height);
  image->input.resize(bytes);
  for (size_t i = 0; i < bytes; ++i) image->input[i] = static_cast<uint8_t>(i * 2654435761u >> 13);
  image->output.assign(bytes, 0);
  const Rect bounds = {0, 0, static_cast<int16_t>(size.height), static_cast<int16_t>(size.width)};
  PlotJob& job = image->job;
  job.input = {image->input.data(), rowBytes, pixelBytes, bounds};
  job.output = {image->output.data(), rowBytes, pixelBytes, bounds};
  job.area = bounds;
  job.planes = format.planes;
  job.gray = format.planes <= 2;
  job.bytesPerSample = format.bytesPerSample;
  job.foreground = {1.0, 40000 / 65535.0, 0.0};
  job.background = {0.0, 0.0, 1.0};
  job.layout = &image->layout;
  job.progressProc = IgnoreProgress;
  job.abortProc = NeverAbort;
  cachedImage = std::move(image);
  return cachedImage.get();
}

double Megapixels(const Size& size) { return double(size.width) * size.height / 1e6; }

using Clock = std::chrono::steady_clock;

// ms per megapixel of every benchmark, by name, for the closing table: the
// fastest repetition (--benchmark_repetitions), which a shared machine's
// other work disturbs least.
std::map<std::string, double> msPerMegapixel;

void KeepFastest(std::map<std::string, double>* figures, const std::string& name, double figure) {
  auto found = figures->find(name);
  if (found == figures->end() || figure < found->second) (*figures)[name] = figure;
}

void Record(benchmark::State& state, const std::string& name, const Size& size, Clock::duration elapsed) {
  const double milliseconds = std::chrono::duration<double, std::milli>(elapsed).count();
  const double perMegapixel = milliseconds / (Megapixels(size) * static_cast<double>(state.iterations()));
  state.counters["ms_per_MP"] = perMegapixel;
  KeepFastest(&msPerMegapixel, name, perMegapixel);
}

void SieveFloor(benchmark::State& state, std::string name, const Size& size) {
  const uint64_t numbers = uint64_t(size.width) * uint64_t(size.height);
  uint64_t primes = 0;
  const Clock::time_point start = Clock::now();
  for (auto _ : state) {
    primes = primesieve_count_primes(0, numbers - 1);
    benchmark::DoNotOptimize(primes);
  }
  Record(state, name, size, Clock::now() - start);
  state.counters["primes"] = double(primes);
}

void MemsetFloor(benchmark::State& state, std::string name, const Size& size, const Format& format) {
  BenchImage* image = ImageFor(size, format);
  int fill = 0;
  const Clock::time_point start = Clock::now();
  for (auto _ : state) {
    std::memset(image->output.data(), ++fill & 0xFF, image->output.size());
    benchmark::ClobberMemory();
  }
  Record(state, name, size, Clock::now() - start);
}

// The engine as if the machine had `lanes` processors; 0: as it has.
struct Engine {
  PlotEngine plot;
  int lanes;
};

// The time of the last abort poll, for the painting that follows it.
Clock::time_point lastPoll;
Boolean PI_CALL NoteAbortPoll() {
  lastPoll = Clock::now();
  return 0;
}

// After the last poll nothing can stop the run: the shortest such tail of a
// few runs, in milliseconds.
double UncancellableTail(BenchImage* image, PlotEngine engine) {
  double shortest = 1e9;
  image->job.abortProc = NoteAbortPoll;
  for (int run = 0; run < 3; ++run) {
    engine(image->job);
    const double tail = std::chrono::duration<double, std::milli>(Clock::now() - lastPoll).count();
    shortest = std::min(shortest, tail);
  }
  image->job.abortProc = NeverAbort;
  return shortest;
}

// ms of the uncancellable tail of every engine benchmark, by name.
std::map<std::string, double> tailMilliseconds;

void Plot(benchmark::State& state, std::string name, const Size& size, const Format& format, int16_t layout,
          Engine engine) {
  BenchImage* image = ImageFor(size, format);
  image->layout = layout;
  ReportProcessors(engine.lanes);
  OSErr result = noErr;
  ResetPeakWorkingBytes();
  const Clock::time_point start = Clock::now();
  for (auto _ : state) {
    result = engine.plot(image->job);
    benchmark::ClobberMemory();
  }
  const Clock::duration elapsed = Clock::now() - start;
  if (result != noErr) state.SkipWithError("the plot failed");
  Record(state, name, size, elapsed);
  state.counters["peak_MB"] = static_cast<double>(PeakWorkingBytes()) / 1e6;
  if (engine.plot == RunPlotJob) {
    const double tail = UncancellableTail(image, engine.plot);
    state.counters["tail_ms"] = tail;
    KeepFastest(&tailMilliseconds, name, tail);
  }
  ReportProcessors(0);
}

void Register(int iterations, benchmark::internal::Benchmark* run) {
  run->Unit(benchmark::kMillisecond)->UseRealTime();
  if (iterations > 0) run->Iterations(iterations);
}

std::vector<std::pair<const Size*, const Format*>> groups;

void RegisterGroup(const Size& size, const Format& format) {
  groups.push_back({&size, &format});
  const std::string suffix = std::string("/") + format.name + "/" + size.name;
  const std::string sieve = "floor_sieve" + suffix, memset = "floor_memset" + suffix;
  Register(size.iterations, benchmark::RegisterBenchmark(sieve.c_str(), SieveFloor, sieve, size));
  Register(size.iterations, benchmark::RegisterBenchmark(memset.c_str(), MemsetFloor, memset, size, format));
  struct Variant {
    const char* kind;
    int16_t layout;
    Engine engine;
    int iterations;
  };
  const Variant variants[] = {{"engine_normal", plotLayoutNormal, {RunPlotJob, 0}, size.iterations},
                              {"engine_spiral", plotLayoutSpiral, {RunPlotJob, 0}, size.iterations},
                              {"engine1_normal", plotLayoutNormal, {RunPlotJob, 1}, size.iterations},
                              {"engine1_spiral", plotLayoutSpiral, {RunPlotJob, 1}, size.iterations},
                              {"reference_normal", plotLayoutNormal, {ReferencePlot, 1}, size.referenceIterations},
                              {"reference_spiral", plotLayoutSpiral, {ReferencePlot, 1}, size.referenceIterations}};
  for (const Variant& variant : variants) {
    if (variant.engine.plot == ReferencePlot && !size.reference) continue;
    const std::string name = variant.kind + suffix;
    Register(variant.iterations,
             benchmark::RegisterBenchmark(name.c_str(), Plot, name, size, format, variant.layout, variant.engine));
  }
}

void PrintRatios() {
  std::printf("\nms per megapixel (the fastest repetition); in brackets, as a multiple of (sieve floor + memset floor);\n"
              "engine on %d lanes (the machine's processors) and on 1\n", ProcessorCount());
  std::printf("%-12s %-7s %7s %7s %7s | %15s %15s | %15s %15s | %15s %15s\n", "size", "format", "sieve", "memset",
              "floor", "engine normal", "engine spiral", "1 lane normal", "1 lane spiral", "reference normal",
              "reference spiral");
  for (const auto& group : groups) {
    const std::string suffix = std::string("/") + group.second->name + "/" + group.first->name;
    auto find = [&](const char* kind) {
      auto it = msPerMegapixel.find(kind + suffix);
      return it == msPerMegapixel.end() ? -1.0 : it->second;
    };
    const double sieve = find("floor_sieve"), memset = find("floor_memset");
    if (sieve < 0 || memset < 0) continue;
    const double floor = sieve + memset;
    std::printf("%-12s %-7s %7.3f %7.3f %7.3f |", group.first->name, group.second->name, sieve, memset, floor);
    for (const char* kind : {"engine_normal", "engine_spiral", "engine1_normal", "engine1_spiral", "reference_normal",
                             "reference_spiral"}) {
      const double value = find(kind);
      if (value < 0)
        std::printf(" %15s", "-");
      else
        std::printf(" %7.3f (%4.2fx)", value, value / floor);
      if (std::strcmp(kind, "engine_spiral") == 0 || std::strcmp(kind, "engine1_spiral") == 0) std::printf(" |");
    }
    std::printf("\n");
  }
  std::printf("\nms after the last abort poll (the uncancellable painting), shortest of 3 runs in any repetition\n");
  std::printf("%-12s %-7s | %13s %13s | %13s %13s\n", "size", "format", "engine normal", "engine spiral",
              "1 lane normal", "1 lane spiral");
  for (const auto& group : groups) {
    const std::string suffix = std::string("/") + group.second->name + "/" + group.first->name;
    if (tailMilliseconds.find("engine_normal" + suffix) == tailMilliseconds.end()) continue;
    std::printf("%-12s %-7s |", group.first->name, group.second->name);
    for (const char* kind : {"engine_normal", "engine_spiral", "engine1_normal", "engine1_spiral"}) {
      auto it = tailMilliseconds.find(kind + suffix);
      if (it == tailMilliseconds.end())
        std::printf(" %13s", "-");
      else
        std::printf(" %13.1f", it->second);
      if (std::strcmp(kind, "engine_spiral") == 0) std::printf(" |");
    }
    std::printf("\n");
  }
}

}  // namespace

int main(int argc, char** argv) {
  primesieve_set_num_threads(1);
  for (const Size& size : kSizes)
    for (const Format* format : {&kRgb8, &kRgba16}) RegisterGroup(size, *format);
  for (const Size& size : kPhotoSizes)
    for (const Format& format : kEveryFormat) RegisterGroup(size, format);
  RegisterGroup(kLargest, kRgb8);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  PrintRatios();
  return 0;
}
