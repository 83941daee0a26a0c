// PlotPrimes, as the selector dispatch and the preview call it: the host's
// record and the globals become a plot job, and its outcome the result it returns.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "host/host_colors.h"
#include "host/platform_testing.h"
#include "host/plot_primes.h"

namespace {

std::vector<int32_t> reported;
int polls = 0;
int stopAtPoll = 0;
void PI_CALL Report(int32_t done, int32_t) { reported.push_back(done); }
Boolean PI_CALL Poll() { return ++polls == stopAtPoll; }

// A 7 x 5 RGB image, 8 bits, plotted over rows 1..3 and columns 2..5.
class PlotPrimesCall : public ::testing::Test {
 public:
  void SetUp() override {
    HostApp = hostOther;
    reported.clear();
    polls = stopAtPoll = 0;
    std::memset(&record, 0, sizeof record);
    input.assign(7 * 5 * 3, 40);
    output.assign(input.size(), 0xEE);
    record.planes = 3;
    record.imageMode = plugInModeRGBColor;
    record.inRect = record.outRect = {0, 0, 5, 7};
    record.inData = input.data();
    record.outData = output.data();
    record.inRowBytes = record.outRowBytes = 21;
    record.inColumnBytes = record.outColumnBytes = 3;
    record.foreground = {65535, 0, 0};
    record.background = {0, 0, 65535};
    record.progressProc = Report;
    record.abortProc = Poll;
    block = &parameters;
    record.parameters = reinterpret_cast<Handle>(&block);
    globals.filterRecord = &record;
    globals.result = &result;
    globals.processRect = {1, 2, 4, 6};
  }
  void TearDown() override { HostApp = hostOther; }

  int Sample(int row, int column, int plane) const { return output[size_t(row * 21 + column * 3 + plane)]; }

  // Whether the pixel at (row, column) of the image holds the foreground.
  bool Foreground(int row, int column) const { return Sample(row, column, 0) == 255 && Sample(row, column, 2) == 0; }

  bool Untouched() const {
    for (uint8_t byte : output)
      if (byte != 0xEE) return false;
    return true;
  }

  FilterRecord record;
  FilterParameters parameters = {drawNormal, 0};
  FilterParameters* block = nullptr;
  FilterGlobals globals = {};
  int16_t result = 17;
  std::vector<uint8_t> input, output;
};

}  // namespace

TEST_F(PlotPrimesCall, PlotsTheProcessingRectangleWithTheParametersAndLeavesTheResultWord) {
  // 4 x 3 pixels numbered from 5 row by row: 5 6 7 8 / 9 10 11 12 / 13 14 15 16.
  parameters = {drawNormal, 5};
  PlotPrimes(&globals, true);
  EXPECT_EQ(result, 17);
  const bool expected[3][4] = {{1, 0, 1, 0}, {0, 0, 1, 0}, {1, 0, 0, 0}};
  for (int row = 0; row < 3; ++row)
    for (int column = 0; column < 4; ++column)
      EXPECT_EQ(Foreground(row + 1, column + 2), expected[row][column]) << row << ", " << column;
  EXPECT_EQ(Sample(0, 2, 0), 0xEE);  // outside the processing rectangle
  EXPECT_EQ(reported, (std::vector<int32_t>{12, 12, 24}));
  EXPECT_EQ(polls, 1);
}

TEST_F(PlotPrimesCall, ReportsNothingWhenAskedNot) {
  PlotPrimes(&globals, false);
  EXPECT_TRUE(reported.empty());
  EXPECT_EQ(polls, 1);
}

TEST_F(PlotPrimesCall, TheLayoutIsTheOneInTheBlockWhenTheSieveIsDone) {
  static FilterParameters* live;
  live = &parameters;
  record.progressProc = [](int32_t done, int32_t) {
    if (done == 12) live->draw = drawSpiral;  // the end of the sieve
  };
  parameters = {drawNormal, 0};
  PlotPrimes(&globals, true);
  // Spiral over 4 x 3 from 0: the top row 0 1 2 3, then 4 down the right.
  EXPECT_FALSE(Foreground(1, 2));
  EXPECT_TRUE(Foreground(1, 4) && Foreground(1, 5));
  EXPECT_FALSE(Foreground(2, 5));  // 4
  EXPECT_TRUE(Foreground(3, 5));   // 5
}

TEST_F(PlotPrimesCall, FailuresAreReturnedAndNothingIsWritten) {
  struct Case {
    const char* what;
    void (*arrange)(PlotPrimesCall*);
    int16_t result;
  };
  const Case cases[] = {
      {"cancelled", [](PlotPrimesCall*) { stopAtPoll = 1; }, userCanceledErr},
      {"memory refused", [](PlotPrimesCall*) { RefuseMemoryAfter(0); }, memFullErr},
      {"no parameters block", [](PlotPrimesCall* test) { test->block = nullptr; }, filterBadParameters},
      {"no parameters handle", [](PlotPrimesCall* test) { test->record.parameters = nullptr; },
       filterBadParameters},
      {"rectangle beyond the buffers", [](PlotPrimesCall* test) { test->globals.processRect.right = 8; },
       filterBadParameters},
  };
  for (const Case& c : cases) {
    SetUp();
    c.arrange(this);
    const OSErr plotted = PlotPrimes(&globals, true);
    RefuseMemoryAfter(-1);
    EXPECT_EQ(plotted, c.result) << c.what;
    EXPECT_EQ(result, 17) << c.what;  // the dispatch's to answer
    EXPECT_TRUE(Untouched()) << c.what;
  }
}

TEST_F(PlotPrimesCall, EmptyRectangleOrMissingRecordDoesNothing) {
  globals.processRect = {3, 2, 3, 6};
  EXPECT_EQ(PlotPrimes(&globals, true), noErr);
  globals.filterRecord = nullptr;
  EXPECT_EQ(PlotPrimes(&globals, true), noErr);
  EXPECT_EQ(PlotPrimes(nullptr, true), noErr);
  EXPECT_EQ(result, 17);
  EXPECT_TRUE(Untouched() && reported.empty() && polls == 0);
}

TEST(HostPlotColors, TopOfTheHostsRangeIsOne) {
  FilterRecord record;
  std::memset(&record, 0, sizeof record);
  record.foreground = {65535, 32768, 0};
  record.background = {255, 51, 65535};
  PlotColor foreground, background;
  for (int32_t host : {hostOther, hostPhotoshop, hostPremiere, hostAfterEffects}) {
    HostPlotColors(&record, host, &foreground, &background);
    EXPECT_EQ(foreground.red, 1.0);
    EXPECT_EQ(foreground.green, 32768 / 65535.0);
    EXPECT_EQ(background.blue, 1.0);
    EXPECT_EQ(background.red, 255 / 65535.0);
  }
  // Fireworks hands over 8-bit values; beyond 255 they exceed 1 (and are clamped when painted).
  HostPlotColors(&record, hostFireworks, &foreground, &background);
  EXPECT_EQ(background.red, 1.0);
  EXPECT_EQ(background.green, 51 / 255.0);
  EXPECT_EQ(background.blue, 257.0);
  EXPECT_EQ(foreground.green, 32768 / 255.0);
}

TEST_F(PlotPrimesCall, FireworksColoursArePaintedAsEightBitValues) {
  HostApp = hostFireworks;
  record.foreground = {255, 128, 0};
  record.background = {0, 51, 65535};
  parameters = {drawNormal, 5};
  PlotPrimes(&globals, true);
  EXPECT_EQ(Sample(1, 2, 0), 255);  // 5: foreground
  EXPECT_EQ(Sample(1, 2, 1), 128);
  EXPECT_EQ(Sample(1, 3, 1), 51);   // 6: background
  EXPECT_EQ(Sample(1, 3, 2), 255);
}

TEST_F(PlotPrimesCall, EightBitColoursInTheSixteenBitFieldsArePaintedAsBytes) {
  record.foreground = {255, 128, 0};
  record.background = {0, 51, 200};
  std::memcpy(record.foreColor, "\xFF\x80\x00", 3);
  std::memcpy(record.backColor, "\x00\x33\xC8", 3);
  parameters = {drawNormal, 5};
  PlotPrimes(&globals, true);
  EXPECT_EQ(Sample(1, 2, 0), 255);  // 5: foreground
  EXPECT_EQ(Sample(1, 2, 1), 128);
  EXPECT_EQ(Sample(1, 3, 1), 51);   // 6: background
  EXPECT_EQ(Sample(1, 3, 2), 200);
}
