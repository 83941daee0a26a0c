// The engine against its reference form: the same output bytes and the same
// calls to the host, in the same order, over many shapes, formats, shifts,
// colours, layouts and placements, and when the host cancels at any poll.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "engine/plot_paint.h"
#include "engine_test_host.h"
#include "tests/native/reference/reference_plot.h"

namespace {

struct Scenario {
  int width, height;  // the plotted rectangle
  int planes, bytesPerSample;
  int16_t layout;
  uint16_t shift;
  PlotColor foreground, background;
  int top, left;      // where the rectangle lies in the buffers
  int right, bottom;  // buffer columns and rows beyond it
  int padding;        // bytes after each buffer row
  unsigned seed;      // of the input's samples
};

std::string Describe(const Scenario& s) {
  std::ostringstream text;
  text << s.width << "x" << s.height << " planes " << s.planes << " x " << s.bytesPerSample << " bytes, layout "
       << s.layout << ", shift " << s.shift << ", at (" << s.top << ", " << s.left << ") in "
       << s.left + s.width + s.right << "x" << s.top + s.height + s.bottom << " padded " << s.padding
       << ", colours " << s.foreground.red << "/" << s.foreground.green << "/" << s.foreground.blue << " on "
       << s.background.red << "/" << s.background.green << "/" << s.background.blue;
  return text.str();
}

// Random samples, a good share of them at the edges of the host's range.
void FillInput(TestImage* image, unsigned seed) {
  std::mt19937 random(seed);
  const uint16_t edges[] = {0, 1, 254, 255, 256, 32767, 32768, 32769, 65535};
  for (size_t i = 0; i + 1 < image->input.size(); i += 2) {
    uint16_t sample = uint16_t(random());
    if (random() % 2 == 0) sample = edges[random() % std::size(edges)];
    std::memcpy(&image->input[i], &sample, 2);
  }
}

std::unique_ptr<TestImage> ImageFor(const Scenario& s) {
  auto image = MakeImage(s.left + s.width + s.right, s.top + s.height + s.bottom, s.planes, s.bytesPerSample,
                         s.layout, s.shift, s.padding);
  FillInput(image.get(), s.seed);
  SetRect(&image->job.area, s.top, s.left, s.top + s.height, s.left + s.width);
  image->job.foreground = s.foreground;
  image->job.background = s.background;
  return image;
}

struct Outcome {
  OSErr result;
  std::vector<ProgressCall> calls;
  std::vector<uint8_t> output;
};

Outcome Run(const Scenario& s, PlotEngine engine, int stopAtPoll) {
  auto image = ImageFor(s);
  const OSErr result = RunPlot(image.get(), stopAtPoll, engine);
  return {result, hostCalls, image->output};
}

// The engine alone, with all the work on the host's thread, on as many
// lanes as the machine has processors, and on three whatever it has.
const int kLaneCounts[] = {1, 0, 3};

// Runs the engine as if the machine had `processors` processors (0: as it has).
Outcome RunEngine(const Scenario& s, int processors, int stopAtPoll) {
  ReportProcessors(processors);
  Outcome outcome = Run(s, RunPlotJob, stopAtPoll);
  ReportProcessors(0);
  return outcome;
}

void ExpectSameOutcome(const Scenario& s, int stopAtPoll = 0) {
  const Outcome reference = Run(s, ReferencePlot, stopAtPoll);
  for (int processors : kLaneCounts) {
    const Outcome engine = RunEngine(s, processors, stopAtPoll);
    ASSERT_EQ(engine.result, reference.result) << Describe(s) << " on " << processors;
    ASSERT_EQ(engine.calls, reference.calls) << Describe(s) << " on " << processors;
    ASSERT_TRUE(engine.output == reference.output) << Describe(s) << " on " << processors;
    ASSERT_EQ(LiveWorkingBlocks(), 0);
  }
}

struct Shape {
  int width, height;
};

const Shape kShapes[] = {{1, 1},  {1, 7},   {7, 1},   {2, 2},   {5, 4},    {4, 5},    {3, 3},    {6, 6},
                         {7, 7},  {2, 9},   {9, 2},   {1, 2},   {2, 1},    {3, 1000}, {1000, 3}, {31, 33},
                         {64, 64}, {65, 63}, {100, 37}, {37, 100}, {129, 2}, {2, 129},  {200, 150}, {5, 1300}};
const int kPlaneCounts[] = {1, 2, 3, 4, 5, 9};
const uint16_t kShifts[] = {0, 1, 2, 3, 4, 5, 65534, 65535};

class Cases {
 public:
  explicit Cases(unsigned seed) : random_(seed) {}

  int Between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

  double Component() {
    switch (Between(0, 5)) {
      case 0: return 0.0;
      case 1: return 1.0;
      case 2: return Between(-30, 130) / 100.0;  // beyond the range: clamped
      default: return Between(0, 65535) / 65535.0;
    }
  }

  uint16_t Shift() {
    if (Between(0, 2) == 0) return uint16_t(Between(0, 65535));
    return kShifts[Between(0, int(std::size(kShifts)) - 1)];
  }

  Scenario Make(const Shape& shape, int planes, int bytesPerSample, int16_t layout) {
    Scenario s = {shape.width, shape.height, planes, bytesPerSample, layout, Shift(), {}, {}, 0, 0, 0, 0, 0,
                  unsigned(random_())};
    s.foreground = {Component(), Component(), Component()};
    s.background = {Component(), Component(), Component()};
    if (Between(0, 1) == 1) {  // a rectangle away from the buffers' corner
      s.top = Between(0, 3);
      s.left = Between(0, 3);
      s.right = Between(0, 2);
      s.bottom = Between(0, 2);
    }
    const int paddings[] = {0, 3, 17};
    s.padding = paddings[Between(0, 2)];
    return s;
  }

 private:
  std::mt19937 random_;
};

}  // namespace

TEST(EngineAgainstReference, EveryShapeFormatAndLayout) {
  // Outputs this small are written through the cache; a cache of one byte
  // sends them past it, as a large output goes.
  for (uint64_t cacheBytes : {uint64_t{0}, uint64_t{1}}) {
    ReportLastLevelCache(cacheBytes);
    Cases cases(20240611);
    for (const Shape& shape : kShapes)
      for (int planes : kPlaneCounts)
        for (int bytesPerSample : {1, 2})
          for (int16_t layout : {plotLayoutNormal, plotLayoutSpiral})
            ASSERT_NO_FATAL_FAILURE(ExpectSameOutcome(cases.Make(shape, planes, bytesPerSample, layout)))
                << "cache " << cacheBytes;
  }
  ReportLastLevelCache(0);
}

TEST(EngineAgainstReference, EveryShiftInBothLayouts) {
  Cases cases(7);
  for (uint16_t shift : kShifts)
    for (const Shape& shape : {Shape{1, 1}, Shape{2, 2}, Shape{5, 4}, Shape{33, 17}})
      for (int16_t layout : {plotLayoutNormal, plotLayoutSpiral}) {
        Scenario s = cases.Make(shape, 3, 1, layout);
        s.shift = shift;
        ASSERT_NO_FATAL_FAILURE(ExpectSameOutcome(s));
      }
}

TEST(EngineAgainstReference, LayoutsThatAreNeither) {
  Cases cases(11);
  for (int16_t layout : {int16_t{2}, int16_t{-1}, int16_t{32767}})
    for (int planes : kPlaneCounts)
      for (int bytesPerSample : {1, 2})
        ASSERT_NO_FATAL_FAILURE(ExpectSameOutcome(cases.Make({13, 8}, planes, bytesPerSample, layout)));
}

TEST(EngineAgainstReference, AMegapixelInBothFormats) {
  Cases cases(3);
  for (int16_t layout : {plotLayoutNormal, plotLayoutSpiral})
    for (int format : {0, 1}) {
      Scenario s = cases.Make({1000, 1000}, format == 0 ? 3 : 4, format == 0 ? 1 : 2, layout);
      ASSERT_NO_FATAL_FAILURE(ExpectSameOutcome(s));
    }
}

TEST(EngineAgainstReference, CancelAtEveryPoll) {
  // The sieve's polls outnumber the layout's when the shift is large.
  const Scenario base = {50, 50, 4, 2, plotLayoutNormal, 3000, {1, 0.5, 0}, {0, 0, 1}, 1, 2, 1, 1, 3, 5};
  const Shape shapes[] = {{50, 50}, {37, 29}, {1, 1}, {1000, 3}};
  const uint16_t shifts[] = {3000, 0, 65535, 17};
  for (size_t i = 0; i < std::size(shapes); ++i)
    for (int16_t layout : {int16_t{plotLayoutNormal}, int16_t{plotLayoutSpiral}, int16_t{2}}) {
      Scenario s = base;
      s.width = shapes[i].width;
      s.height = shapes[i].height;
      s.shift = shifts[i];
      s.layout = layout;
      const int polls = [&] {
        auto image = ImageFor(s);
        RunPlot(image.get());
        return abortPolls;
      }();
      for (int stop = 1; stop <= polls + 1; ++stop) ASSERT_NO_FATAL_FAILURE(ExpectSameOutcome(s, stop));
    }
}

TEST(EngineOnEveryLaneCount, ManySegmentsAndBandsGiveTheSameBytes) {
  // More sieve segments or row bands than lanes, so that lanes take several,
  // in whatever order they come; the single lane's plot is the one compared
  // with the reference above.
  const struct {
    int width, height, planes, bytesPerSample;
    int16_t layout;
    uint16_t shift;
  } plots[] = {{4000, 2600, 1, 1, plotLayoutSpiral, 65535}, {2600, 4000, 3, 1, plotLayoutNormal, 4093},
               {1500, 1100, 4, 2, plotLayoutSpiral, 17},    {1100, 1500, 2, 2, plotLayoutNormal, 0}};
  for (const auto& plot : plots) {
    auto run = [&](int processors) {
      auto image = MakeImage(plot.width, plot.height, plot.planes, plot.bytesPerSample, plot.layout, plot.shift, 5);
      image->job.foreground = {1.0, 0.25, 0.0};
      image->job.background = {0.0, 0.5, 1.0};
      ReportProcessors(processors);
      RefuseThreadsAfter(-1);
      const OSErr result = RunPlot(image.get());
      ReportProcessors(0);
      return Outcome{result, hostCalls, image->output};
    };
    const Outcome single = run(1);
    for (int processors : {2, 3, 16}) {
      const Outcome shared = run(processors);
      SCOPED_TRACE(testing::Message() << plot.width << "x" << plot.height << " planes " << plot.planes << " x "
                                      << plot.bytesPerSample << " layout " << plot.layout << " on " << processors);
      // A worker for every lane beside the host's that had a band to paint.
      EXPECT_GE(WorkerThreadsStarted(), std::min(processors, (plot.height + kBandRows - 1) / kBandRows) - 1);
      ASSERT_EQ(shared.result, noErr);
      ASSERT_EQ(shared.calls, single.calls);
      ASSERT_TRUE(shared.output == single.output);
    }
  }
}
