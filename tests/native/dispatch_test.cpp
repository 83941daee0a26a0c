#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "host/handles.h"
#include "host/platform.h"
#include "host/platform_testing.h"
#include "host/plugin_entry.h"
#include "host/remembered_parameters.h"
#include "tests/native/test_handle_suite.h"
#include "tests/rect_expectations.h"

namespace {

int advanceCalls = 0;
OSErr advanceResult = noErr;
OSErr PI_CALL CountingAdvanceState() {
  ++advanceCalls;
  return advanceResult;
}

class Dispatch : public ::testing::Test {
 protected:
  void SetUp() override {
    HostApp = hostOther;
    advanceCalls = 0;
    ForgetRememberedParameters();
    advanceResult = noErr;
    hostHandlesMade = hostHandlesLocked = hostHandlesUnlocked = 0;
    hostAllocationsLeft = -1;
    RefuseMemoryAfter(-1);
    std::memset(&record, 0, sizeof record);
    record.imageSize = {300, 400};
    record.planes = 3;
    record.imageMode = plugInModeRGBColor;
    record.filterRect = {10, 20, 110, 220};
    record.advanceState = CountingAdvanceState;
    record.supportsPadding = true;
  }
  // The plug-in never frees its record and leaves the parameters to the
  // host; a host that unloads it releases both.
  void TearDown() override {
    HostApp = hostOther;
    RefuseMemoryAfter(-1);
    DisposeFallbackHandle(Parameters());
    if (releaseData != nullptr && data != 0) releaseData(data);
  }

  // A copy: the packed record leaves the handle misaligned for a reference.
  Handle Parameters() const { return record.parameters; }

  int16_t Call(int16_t selector) {
    result = 12345;
    PluginMain(selector, &record, &data, &result);
    return result;
  }
  FilterGlobals* Globals() const { return reinterpret_cast<FilterGlobals*>(data); }

  FilterRecord record;
  intptr_t data = 0;
  void (*releaseData)(intptr_t) = [](intptr_t word) { FreeLockedBlock(reinterpret_cast<void*>(word)); };
  int16_t result = 0;
};

}  // namespace

TEST(DetectHost, MatchesTheFourNamesExactly) {
  EXPECT_EQ(DetectHost("Photoshp.exe"), hostPhotoshop);
  EXPECT_EQ(DetectHost("AfterFX.exe"), hostAfterEffects);
  EXPECT_EQ(DetectHost("premiere.exe"), hostPremiere);
  EXPECT_EQ(DetectHost("Fireworks.exe"), hostFireworks);
  EXPECT_EQ(DetectHost("photoshp.exe"), hostOther);
  EXPECT_EQ(DetectHost("PHOTOSHP.EXE"), hostOther);
  EXPECT_EQ(DetectHost("Photoshop.exe"), hostOther);
  EXPECT_EQ(DetectHost(""), hostOther);
  EXPECT_EQ(DetectHost(nullptr), hostOther);
}

TEST_F(Dispatch, UnknownSelectorsAnswerBadParametersAfterMakingTheRecord) {
  for (int16_t selector : {int16_t(6), int16_t(-1), int16_t(-32768), int16_t(200)}) {
    EXPECT_EQ(Call(selector), filterBadParameters) << selector;
    EXPECT_NE(data, 0);
  }
  EXPECT_EQ(advanceCalls, 0);
}

TEST_F(Dispatch, AboutTouchesNeitherTheDataWordNorTheRecordInAnyHost) {
  for (int32_t host : {hostOther, hostPhotoshop, hostPremiere, hostFireworks, hostAfterEffects}) {
    HostApp = host;
    const int blocks = LiveLockedBlocks();
    AboutRecord about{};
    result = 99;
    PluginMain(filterSelectorAbout, &about, &data, &result);
    EXPECT_EQ(result, noErr);
    EXPECT_EQ(data, 0);
    EXPECT_EQ(LiveLockedBlocks(), blocks);
  }
}

TEST_F(Dispatch, RecordIsMadeOnceAndReused) {
  EXPECT_EQ(Call(filterSelectorParameters), noErr);
  const intptr_t first = data;
  ASSERT_NE(first, 0);
  EXPECT_EQ(Globals()->showDialog, 1);
  EXPECT_EQ(Globals()->result, &result);
  EXPECT_EQ(Globals()->filterRecord, &record);
  ASSERT_NE(Parameters(), nullptr);
  EXPECT_FALSE(record.supportsPadding);

  FilterRecord moved = record;
  int16_t otherResult = 7;
  PluginMain(filterSelectorPrepare, &moved, &data, &otherResult);
  EXPECT_EQ(data, first);
  EXPECT_EQ(otherResult, noErr);
  EXPECT_EQ(Globals()->filterRecord, &moved);
  EXPECT_EQ(Globals()->result, &otherResult);
  EXPECT_EQ(Globals()->showDialog, 1);
  EXPECT_EQ(moved.bufferSpace, 0);
  EXPECT_EQ(moved.maxSpace, 0);
}

TEST_F(Dispatch, StartWithoutDialogRequestsExactlyTheFilterRect) {
  record.parameters = nullptr;
  EXPECT_EQ(Call(filterSelectorStart), noErr);
  EXPECT_EQ(advanceCalls, 1);
  ExpectRect(record.inRect, 10, 20, 110, 220);
  ExpectRect(record.outRect, 10, 20, 110, 220);
  ExpectRect(record.maskRect, 10, 20, 110, 220);
  ExpectRect(Globals()->processRect, 0, 0, 100, 200);
  EXPECT_EQ(record.inLoPlane, 0);
  EXPECT_EQ(record.inHiPlane, 2);
  EXPECT_EQ(record.outLoPlane, 0);
  EXPECT_EQ(record.outHiPlane, 2);
  EXPECT_EQ(record.inputRate, 0x10000);
  EXPECT_EQ(record.maskRate, 0x10000);
  EXPECT_EQ(record.inputPadding, 255);
  EXPECT_EQ(record.outputPadding, 255);
  EXPECT_EQ(record.maskPadding, 255);

  // The buffers a host delivers for that request; the engine plots into them.
  std::vector<uint8_t> input(100 * 200 * 3), output(100 * 200 * 3);
  record.inData = input.data();
  record.outData = output.data();
  record.inRowBytes = record.outRowBytes = 200 * 3;
  EXPECT_EQ(Call(filterSelectorContinue), noErr);
  ExpectRect(record.inRect, 0, 0, 0, 0);
  ExpectRect(record.outRect, 0, 0, 0, 0);
  ExpectRect(record.maskRect, 0, 0, 0, 0);
}

TEST_F(Dispatch, StartAfterParametersRequestsTheWholeImage) {
  Call(filterSelectorParameters);
  EXPECT_EQ(Call(filterSelectorStart), noErr);
  EXPECT_EQ(Globals()->showDialog, 0);
  ExpectRect(record.inRect, 0, 0, 300, 400);
  ExpectRect(record.outRect, 0, 0, 300, 400);
  ExpectRect(record.maskRect, 0, 0, 300, 400);
  ExpectRect(Globals()->processRect, 10, 20, 110, 220);
  EXPECT_EQ(advanceCalls, 2);  // the preview's request, then Start's own
  // A repeated filter shows no dialog.
  Call(filterSelectorContinue);
  EXPECT_EQ(Call(filterSelectorStart), noErr);
  ExpectRect(Globals()->processRect, 0, 0, 100, 200);
}

TEST_F(Dispatch, EightPlanesAreRequestedInFull) {
  record.planes = 8;
  Call(filterSelectorStart);
  EXPECT_EQ(record.inHiPlane, 7);
  EXPECT_EQ(record.outHiPlane, 7);
}

TEST_F(Dispatch, FailedAdvanceStateEmptiesTheRequest) {
  advanceResult = -50;
  EXPECT_EQ(Call(filterSelectorStart), -50);
  ExpectRect(record.inRect, 0, 0, 0, 0);
  ExpectRect(record.outRect, 0, 0, 0, 0);
  ExpectRect(record.maskRect, 0, 0, 0, 0);
}

TEST_F(Dispatch, ModesTheFilterDoesNotDeclareAreRefusedBeforeAnyRequest) {
  for (int16_t mode : {int16_t(0), int16_t(2), int16_t(4), int16_t(9), int16_t(12), int16_t(99), int16_t(-1)}) {
    record.imageMode = mode;
    record.inRect = {1, 2, 3, 4};
    EXPECT_EQ(Call(filterSelectorParameters), noErr) << mode;
    EXPECT_EQ(Call(filterSelectorStart), filterBadMode) << mode;
    ExpectRect(record.inRect, 0, 0, 0, 0);
    ExpectRect(record.outRect, 0, 0, 0, 0);
  }
  EXPECT_EQ(advanceCalls, 0);  // not even the dialog's preview asked
  for (int16_t mode : {plugInModeGrayScale, plugInModeRGBColor, plugInModeGray16, plugInModeRGB48}) {
    record.imageMode = mode;
    EXPECT_EQ(Call(filterSelectorStart), noErr) << mode;
  }
}

TEST_F(Dispatch, HostWithoutAdvanceStateIsRefused) {
  record.advanceState = nullptr;
  record.inRect = {1, 2, 3, 4};
  EXPECT_EQ(Call(filterSelectorStart), userCanceledErr);
  ExpectRect(record.inRect, 0, 0, 0, 0);
  ExpectRect(record.maskRect, 0, 0, 0, 0);
}

TEST_F(Dispatch, EmptyFilterRectPlotsNothingAndEndsTheLoop) {
  Call(filterSelectorStart);
  record.filterRect = {10, 20, 10, 220};
  record.inRect = record.outRect = record.maskRect = {1, 1, 2, 2};
  EXPECT_EQ(Call(filterSelectorContinue), noErr);
  ExpectRect(record.inRect, 0, 0, 0, 0);
  ExpectRect(record.outRect, 0, 0, 0, 0);
  ExpectRect(record.maskRect, 0, 0, 0, 0);
}

TEST_F(Dispatch, TransparencyIsNotedForOneOrThreeColourPlanes) {
  record.inTransparencyMask = 1;
  Call(filterSelectorParameters);
  EXPECT_EQ(Globals()->hasTransparency, 1);
  record.planes = 4;
  Call(filterSelectorParameters);
  EXPECT_EQ(Globals()->hasTransparency, 0);
}

TEST_F(Dispatch, PremiereGetsWholeSizeOnEveryCall) {
  HostApp = hostPremiere;
  for (int selector : {1, 2, 3,
                       4, 5, 9}) {
    record.wholeSize = {0, 0};
    Call(static_cast<int16_t>(selector));
    EXPECT_EQ(record.wholeSize.v, 300);
    EXPECT_EQ(record.wholeSize.h, 400);
  }
  HostApp = hostPhotoshop;
  record.wholeSize = {0, 0};
  Call(filterSelectorPrepare);
  EXPECT_EQ(record.wholeSize.v, 0);
}

TEST_F(Dispatch, ParametersSurviveFromOneRunToTheNext) {
  Call(filterSelectorStart);
  Handle parameters = record.parameters;
  ASSERT_NE(parameters, nullptr);
  auto* values = reinterpret_cast<FilterParameters*>(*parameters);
  EXPECT_EQ(values->draw, 0);
  EXPECT_EQ(values->shft, 0);
  values->draw = 1;
  values->shft = 65535;
  Call(filterSelectorContinue);
  Call(filterSelectorStart);
  EXPECT_EQ(Parameters(), parameters);
  EXPECT_EQ(GetFilterParameters(&record)->draw, 1);
  EXPECT_EQ(GetFilterParameters(&record)->shft, 65535);
}

TEST_F(Dispatch, RefusedMemoryForTheRecordLeavesTheDataWordAlone) {
  RefuseMemoryAfter(0);
  EXPECT_EQ(Call(filterSelectorParameters), memFullErr);
  EXPECT_EQ(data, 0);
  EXPECT_EQ(advanceCalls, 0);
}

TEST_F(Dispatch, StartWithoutAParametersBlockStopsWithMemFull) {
  RefuseMemoryAfter(1);  // the record is made, the parameters block is not
  EXPECT_EQ(Call(filterSelectorStart), memFullErr);
  EXPECT_NE(data, 0);
  EXPECT_EQ(Parameters(), nullptr);
  EXPECT_EQ(advanceCalls, 0);
  ExpectRect(record.inRect, 0, 0, 0, 0);
  RefuseMemoryAfter(-1);
  EXPECT_EQ(Call(filterSelectorStart), noErr);  // a later run recovers
  EXPECT_NE(Parameters(), nullptr);
}

// Whatever the selector does afterwards, a record made without its
// parameters block answers -108, except where the selector has an answer of
// its own.
TEST_F(Dispatch, ANewRecordWithoutItsParametersBlockReportsIt) {
  const struct {
    int16_t selector;
    int16_t result;
  } cases[] = {{filterSelectorParameters, memFullErr}, {filterSelectorPrepare, memFullErr},
               {filterSelectorStart, memFullErr},      {filterSelectorContinue, memFullErr},
               {filterSelectorFinish, memFullErr},     {99, filterBadParameters}};
  for (const auto& c : cases) {
    RefuseMemoryAfter(1);  // the record is made, the parameters block is not
    EXPECT_EQ(Call(c.selector), c.result) << c.selector;
    RefuseMemoryAfter(-1);
    EXPECT_EQ(Parameters(), nullptr);
    EXPECT_EQ(Call(filterSelectorPrepare), noErr) << "the same record later, " << c.selector;
    releaseData(data);
    data = 0;
    DisposeFallbackHandle(Parameters());
    record.parameters = nullptr;
  }
}

TEST_F(Dispatch, FireworksKeepsTheRecordInAHostHandle) {
  HostApp = hostFireworks;
  HandleProcs procs = HostProcs();
  record.handleProcs = &procs;
  EXPECT_EQ(Call(filterSelectorStart), noErr);
  EXPECT_EQ(hostHandlesMade, 1);
  ASSERT_NE(data, 0);
  auto* globals = reinterpret_cast<FilterGlobals*>(*reinterpret_cast<Handle>(data));
  EXPECT_EQ(globals->showDialog, 0);  // cleared, not the host's garbage
  ExpectRect(globals->processRect, 0, 0, 100, 200);
  EXPECT_EQ(hostHandlesLocked, hostHandlesUnlocked);
  Call(filterSelectorContinue);
  EXPECT_EQ(hostHandlesMade, 1);
  EXPECT_EQ(hostHandlesLocked, 2);
  EXPECT_EQ(hostHandlesUnlocked, 2);
  // The parameters block is always our own handle.
  auto* parameters = reinterpret_cast<FallbackHandle*>(record.parameters);
  EXPECT_EQ(parameters->tag, kFallbackHandleTag);
  releaseData = [](intptr_t word) { HostDispose(reinterpret_cast<Handle>(word)); };
}

TEST_F(Dispatch, FireworksFallsBackToOwnHandlesForADamagedSuite) {
  HostApp = hostFireworks;
  HandleProcs procs = HostProcs();
  procs.numHandleProcs = 6;
  record.handleProcs = &procs;
  EXPECT_EQ(Call(filterSelectorParameters), noErr);
  EXPECT_EQ(hostHandlesMade, 0);
  releaseData = [](intptr_t word) { DisposeFallbackHandle(reinterpret_cast<Handle>(word)); };
  auto* handle = reinterpret_cast<FallbackHandle*>(data);
  EXPECT_EQ(handle->tag, kFallbackHandleTag);
  EXPECT_EQ(static_cast<FilterGlobals*>(handle->data)->showDialog, 1);
  EXPECT_EQ(Call(filterSelectorPrepare), noErr);
  EXPECT_EQ(reinterpret_cast<intptr_t>(handle), data);
}

TEST_F(Dispatch, FireworksRefusedHandleGivesMemFullAndNoRecord) {
  HostApp = hostFireworks;
  HandleProcs procs = HostProcs();
  record.handleProcs = &procs;
  hostAllocationsLeft = 0;
  EXPECT_EQ(Call(filterSelectorParameters), memFullErr);
  EXPECT_EQ(data, 0);
  record.handleProcs = nullptr;
  RefuseMemoryAfter(1);  // fallback record made, its data refused
  const int blocks = LiveLockedBlocks();
  EXPECT_EQ(Call(filterSelectorParameters), memFullErr);
  EXPECT_EQ(data, 0);
  EXPECT_EQ(LiveLockedBlocks(), blocks);
}
