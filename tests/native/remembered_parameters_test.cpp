// Hosts that drop the parameters handle (and the data word) between runs:
// each run starts from what the user last confirmed in this process.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "host/handles.h"
#include "host/platform.h"
#include "host/plugin_entry.h"
#include "host/remembered_parameters.h"

namespace {

OSErr advanceResult = noErr;
bool abortNow = false;
OSErr PI_CALL AdvanceState() { return advanceResult; }
Boolean PI_CALL Abort() { return abortNow ? 1 : 0; }

// One run of a host that keeps nothing: a fresh record, no parameters
// handle, a data word of 0.
class DroppingHost : public ::testing::Test {
 protected:
  void SetUp() override {
    ForgetRememberedParameters();
    advanceResult = noErr;
    abortNow = false;
  }
  void TearDown() override { Release(); }

  void NewRun(Handle kept = nullptr) {
    Release();
    std::memset(&record, 0, sizeof record);
    record.imageSize = {4, 5};
    record.planes = 1;
    record.imageMode = plugInModeGrayScale;
    record.filterRect = {0, 0, 4, 5};
    record.advanceState = AdvanceState;
    record.abortProc = Abort;
    record.parameters = kept;
    ownsParameters = kept == nullptr;
    input.assign(20, 0);
    output.assign(20, 0);
    record.inData = input.data();
    record.outData = output.data();
    record.inRowBytes = record.outRowBytes = 5;
  }
  int16_t Call(int16_t selector) {
    int16_t result = 1;
    PluginMain(selector, &record, &data, &result);
    return result;
  }
  FilterParameters Values() const { return *GetFilterParameters(&record); }
  void Release() {
    if (ownsParameters) DisposeFallbackHandle(record.parameters);
    record.parameters = nullptr;
    if (data != 0) FreeLockedBlock(reinterpret_cast<void*>(data));
    data = 0;
  }

  FilterRecord record;
  intptr_t data = 0;
  bool ownsParameters = false;
  std::vector<uint8_t> input, output;
};

}  // namespace

TEST_F(DroppingHost, TheFirstRunGetsTheDefaultsAndLaterOnesTheConfirmedValues) {
  NewRun();
  Call(filterSelectorParameters);
  EXPECT_EQ(Values().draw, drawNormal);
  EXPECT_EQ(Values().shft, 0);
  *GetFilterParameters(&record) = {drawSpiral, 41};  // what the user sets in the dialog
  EXPECT_EQ(Call(filterSelectorStart), noErr);       // and confirms

  NewRun();
  Call(filterSelectorParameters);
  EXPECT_EQ(Values().draw, drawSpiral);
  EXPECT_EQ(Values().shft, 41);
  // A run that plots confirms its values too.
  *GetFilterParameters(&record) = {drawNormal, 7};
  Call(filterSelectorStart);
  EXPECT_EQ(Call(filterSelectorContinue), noErr);

  NewRun();
  Call(filterSelectorPrepare);
  EXPECT_EQ(Values().draw, drawNormal);
  EXPECT_EQ(Values().shft, 7);
}

TEST_F(DroppingHost, CancelledOrAbortedRunsConfirmNothing) {
  NewRun();
  Call(filterSelectorParameters);
  *GetFilterParameters(&record) = {drawSpiral, 41};
  Call(filterSelectorStart);

  NewRun();
  Call(filterSelectorParameters);
  *GetFilterParameters(&record) = {drawNormal, 99};
  advanceResult = userCanceledErr;  // the dialog never gets its pixels
  EXPECT_NE(Call(filterSelectorStart), noErr);
  advanceResult = noErr;

  NewRun();
  Call(filterSelectorPrepare);
  *GetFilterParameters(&record) = {drawNormal, 98};
  Call(filterSelectorStart);
  abortNow = true;
  record.filterRect = {0, 0, 40, 50};  // enough pixels for a poll
  input.assign(2000, 0);
  output.assign(2000, 0);
  record.inData = input.data();
  record.outData = output.data();
  record.inRowBytes = record.outRowBytes = 50;
  EXPECT_EQ(Call(filterSelectorContinue), userCanceledErr);

  NewRun();
  Call(filterSelectorPrepare);
  EXPECT_EQ(Values().draw, drawSpiral);
  EXPECT_EQ(Values().shft, 41);
}

TEST_F(DroppingHost, AHostThatKeepsTheHandleKeepsItsOwnValues) {
  NewRun();
  Call(filterSelectorParameters);
  *GetFilterParameters(&record) = {drawSpiral, 41};
  Call(filterSelectorStart);

  FilterParameters kept = {drawNormal, 3};
  char* block = reinterpret_cast<char*>(&kept);
  NewRun(&block);
  Call(filterSelectorParameters);
  EXPECT_EQ(Values().draw, drawNormal);
  EXPECT_EQ(Values().shft, 3);

  ForgetRememberedParameters();  // as in a new process
  NewRun();
  Call(filterSelectorParameters);
  EXPECT_EQ(Values().shft, 0);
}
