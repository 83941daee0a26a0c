// The plug-in in a host that runs with floating-point exceptions unmasked.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "host/floating_point_state.h"
#include "host/handles.h"
#include "host/platform.h"
#include "host/plugin_entry.h"
#include "host/remembered_parameters.h"

#if defined(__i386__) || defined(__x86_64__)

namespace {

constexpr uint16_t kDelphiX87Control = 0x1332;  // invalid, zero-divide and overflow unmasked
constexpr uint32_t kDelphiMxcsr = 0x1900;       // the same in SSE

struct HostFloatingPoint {
  uint16_t x87Control;
  uint32_t mxcsr;
};

// Sets the state and returns it as the machine reads it back (the x87
// control word's reserved bit 6 reads as 1).
HostFloatingPoint SetHostState(HostFloatingPoint state) {
  __asm__ volatile("fnclex");
  __asm__ volatile("fldcw %0" : : "m"(state.x87Control));
  __asm__ volatile("ldmxcsr %0" : : "m"(state.mxcsr));
  return {CurrentX87Control(), CurrentMxcsr()};
}

// The test runner's own state, put back after each test.
class UnmaskedHost : public ::testing::Test {
 protected:
  void SetUp() override { runner = {CurrentX87Control(), CurrentMxcsr()}; }
  void TearDown() override { SetHostState(runner); }
  HostFloatingPoint runner;
};

OSErr PI_CALL Advance() { return noErr; }

}  // namespace

TEST_F(UnmaskedHost, EnterSwitchesToTheMaskedStateAndLeaveRestoresEverything) {
  // A host state with a sticky (masked) precision flag in MXCSR.
  const HostFloatingPoint host = SetHostState({kDelphiX87Control, kDelphiMxcsr | 0x20});
  FloatingPointState saved;
  EnterPluginFloatingPoint(&saved);
  EXPECT_EQ(CurrentX87Control() & ~0x40, kPluginX87Control & ~0x40);
  EXPECT_EQ(CurrentMxcsr() & 0xFFC0, kPluginMxcsr);
  volatile double zero = 0.0;
  volatile double quotient = 1.0 / zero;  // raises masked flags only
  EXPECT_GT(quotient, 1.0);
  LeavePluginFloatingPoint(saved);
  EXPECT_EQ(CurrentX87Control(), host.x87Control);
  EXPECT_EQ(CurrentMxcsr(), kDelphiMxcsr | 0x20u);  // flags as found, the division's gone
}

// A whole run with the dialog: no trap (it would end the test program), the
// same plot as under the default state, and the host's state given back.
TEST_F(UnmaskedHost, AWholeRunLeavesTheHostsStateAsItWasAndPlotsTheSame) {
  // The test runner's state, a Delphi host's, and one rounding down with
  // flush-to-zero on.
  const HostFloatingPoint hosts[] = {runner, {kDelphiX87Control, kDelphiMxcsr}, {0x0772, 0xBF80}};
  std::vector<uint16_t> plots[3];
  for (int h = 0; h < 3; ++h) {
    ForgetRememberedParameters();
    FilterRecord record;
    std::memset(&record, 0, sizeof record);
    record.imageSize = {30, 40};
    record.imageMode = plugInModeRGB48;
    record.planes = 3;
    record.filterRect = {0, 0, 30, 40};
    // 65408 is 32705 on the 16-bit scale, 32704 when rounded down on the way.
    record.foreground = {65408, 32768, 1};
    record.background = {1, 2, 30000};
    record.advanceState = Advance;
    std::vector<uint16_t> input(30 * 40 * 3, 9), output(30 * 40 * 3, 0);
    record.inData = input.data();
    record.outData = output.data();
    record.inRowBytes = record.outRowBytes = 40 * 3 * 2;
    intptr_t data = 0;
    int16_t result = 0;
    const HostFloatingPoint host = SetHostState(hosts[h]);
    const int16_t selectors[] = {filterSelectorParameters, filterSelectorPrepare, filterSelectorStart,
                                 filterSelectorContinue, filterSelectorFinish, 99};
    for (int16_t selector : selectors) {
      PluginMain(selector, &record, &data, &result);
      EXPECT_EQ(result, selector == 99 ? filterBadParameters : noErr) << selector;
      EXPECT_EQ(CurrentX87Control(), host.x87Control) << selector;
      EXPECT_EQ(CurrentMxcsr() & 0xFFC0, host.mxcsr & 0xFFC0) << selector;
    }
    SetHostState(runner);
    plots[h] = output;
    DisposeFallbackHandle(record.parameters);
    FreeLockedBlock(reinterpret_cast<void*>(data));
  }
  EXPECT_EQ(std::count(plots[0].begin(), plots[0].end(), 32705), 196);  // the primes below 1200
  EXPECT_EQ(plots[0], plots[1]);
  EXPECT_EQ(plots[0], plots[2]);
}

#endif
