// The real Vardelkist.8bf driven selector by selector through our host.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "tests/rect_expectations.h"
#include "tests/wine/plugin_fixture.h"

namespace {

class PluginEntry : public PluginFixture {};

}  // namespace

TEST_F(PluginEntry, UnknownSelectorsAnswerBadParameters) {
  Open();
  Begin(300, 250, Rect{10, 20, 110, 220});
  for (int16_t selector : {int16_t(6), int16_t(-1), int16_t(-30000)}) {
    EXPECT_EQ(CallPluginMain(session, selector), filterBadParameters) << selector;
  }
  EXPECT_NE(session->data, 0);  // the record is still made first
  EXPECT_TRUE(session->log.advances.empty());
}

TEST_F(PluginEntry, AboutMakesNoRecord) {
  Open();
  EXPECT_EQ(ShowAbout(session), noErr);
  EXPECT_EQ(session->data, 0);
  EXPECT_EQ(session->parameters, nullptr);
}

TEST_F(PluginEntry, StartWithoutDialogRequestsTheFilterRect) {
  Open();
  Begin(300, 250, Rect{10, 20, 110, 220});
  EXPECT_EQ(CallPluginMain(session, filterSelectorPrepare), noErr);
  EXPECT_EQ(session->record->bufferSpace, 0);
  EXPECT_EQ(session->record->maxSpace, 0);
  EXPECT_EQ(CallPluginMain(session, filterSelectorStart), noErr);
  ASSERT_EQ(session->log.advances.size(), 1u);
  const AdvanceCall& request = session->log.advances[0];
  ExpectRect(request.inRect, 10, 20, 110, 220);
  ExpectRect(request.outRect, 10, 20, 110, 220);
  ExpectRect(request.maskRect, 10, 20, 110, 220);
  EXPECT_EQ(request.inLoPlane, 0);
  EXPECT_EQ(request.inHiPlane, 2);
  EXPECT_EQ(request.outLoPlane, 0);
  EXPECT_EQ(request.outHiPlane, 2);
  EXPECT_EQ(request.inputRate, 0x10000);
  EXPECT_EQ(request.maskRate, 0x10000);
  EXPECT_EQ(request.inputPadding, 255);
  EXPECT_EQ(request.outputPadding, 255);
  EXPECT_EQ(request.maskPadding, 255);
  EXPECT_FALSE(session->record->supportsPadding);

  EXPECT_EQ(CallPluginMain(session, filterSelectorContinue), noErr);
  ExpectEmpty(session->record->inRect);
  ExpectEmpty(session->record->outRect);
  ExpectEmpty(session->record->maskRect);
  EXPECT_EQ(CallPluginMain(session, filterSelectorFinish), noErr);
}

TEST_F(PluginEntry, StartAfterParametersRequestsTheWholeImage) {
  Open();
  Begin(300, 250, Rect{10, 20, 110, 220});
  EXPECT_EQ(CallPluginMain(session, filterSelectorParameters), noErr);
  EXPECT_EQ(CallPluginMain(session, filterSelectorStart), noErr);
  ASSERT_FALSE(session->log.advances.empty());
  const AdvanceCall& request = session->log.advances.back();
  ExpectRect(request.inRect, 0, 0, 250, 300);
  ExpectRect(request.outRect, 0, 0, 250, 300);
  ExpectRect(request.maskRect, 0, 0, 250, 300);
  EXPECT_EQ(request.inHiPlane, 2);
}

TEST_F(PluginEntry, EmptyFilterRectEndsTheLoopWithoutPlotting) {
  Open();
  Begin(50, 40, Rect{10, 20, 10, 30});
  HostImage before = image;
  CallPluginMain(session, filterSelectorStart);
  EXPECT_EQ(CallPluginMain(session, filterSelectorContinue), noErr);
  ExpectEmpty(session->record->inRect);
  ExpectEmpty(session->record->outRect);
  ExpectEmpty(session->record->maskRect);
  EXPECT_TRUE(session->log.progress.empty());
  EXPECT_EQ(image.pixels, before.pixels);
}

TEST_F(PluginEntry, HostWithoutAdvanceStateIsRefused) {
  HostOptions options;
  options.noAdvanceState = true;
  Open(options);
  Begin(50, 40, Rect{0, 0, 40, 50});
  EXPECT_EQ(CallPluginMain(session, filterSelectorStart), userCanceledErr);
  ExpectEmpty(session->record->inRect);
  ExpectEmpty(session->record->outRect);
  ExpectEmpty(session->record->maskRect);
}

TEST_F(PluginEntry, RunsWithoutAbortOrProgressCallbacks) {
  HostOptions options;
  options.noAbortProc = true;
  options.noProgressProc = true;
  Open(options);
  MakeImage(&image, 64, 48, 3, false, 8);
  HostRunReport report = RunFilter(session, &image, HostRunOptions{});
  EXPECT_EQ(report.result, noErr) << report.error;
  EXPECT_EQ(report.abortPolls, 0);
}

TEST_F(PluginEntry, RunsInAHostWithTheShortOlderRecord) {
  HostOptions options;
  options.shortRecord = true;
  options.handles.absent = true;
  Open(options);
  MakeImage(&image, 64, 48, 1, true, 16);
  HostRunOptions run;
  run.showDialog = true;
  HostRunReport report = RunFilter(session, &image, run);
  EXPECT_EQ(report.result, noErr) << report.error;
}

TEST_F(PluginEntry, RecordAndParametersSurviveFromRunToRun) {
  LoadFreshPlugin();
  Open();
  MakeImage(&image, 30, 20, 3, false, 8);
  ASSERT_EQ(RunFilter(session, &image, HostRunOptions{}).result, noErr);
  const intptr_t record = session->data;
  const Handle parameters = session->parameters;
  ASSERT_NE(record, 0);
  ASSERT_NE(parameters, nullptr);
  // The user's last values, as the plug-in left them in its block.
  auto* values = reinterpret_cast<FilterParameters*>(*parameters);
  EXPECT_EQ(values->draw, 0);
  EXPECT_EQ(values->shft, 0);
  values->draw = 1;
  values->shft = 4321;

  HostRunOptions withDialog;
  withDialog.showDialog = true;
  ASSERT_EQ(RunFilter(session, &image, withDialog).result, noErr);
  EXPECT_EQ(session->data, record);
  EXPECT_EQ(session->parameters, parameters);
  values = reinterpret_cast<FilterParameters*>(*session->parameters);
  EXPECT_EQ(values->draw, 1);
  EXPECT_EQ(values->shft, 4321);
}

TEST_F(PluginEntry, ParametersHandleIsAFallbackHandleAHostCanKeep) {
  LoadFreshPlugin();
  Open();
  MakeImage(&image, 10, 10, 1, false, 8);
  ASSERT_EQ(RunFilter(session, &image, HostRunOptions{}).result, noErr);
  ASSERT_NE(session->parameters, nullptr);
  // As a host sees it: a global block of exactly the data address and "OTOF"
  // (8 bytes in a 32-bit process, 12 in a 64-bit one).
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(session->parameters);
  void* dataAddress;
  std::memcpy(&dataAddress, bytes, sizeof dataAddress);
  EXPECT_EQ(std::memcmp(bytes + sizeof(void*), "OTOF", 4), 0);
  HGLOBAL recordBlock = GlobalHandle(session->parameters);
  ASSERT_NE(recordBlock, nullptr);
  EXPECT_EQ(GlobalSize(recordBlock), sizeof(void*) + 4);
  HGLOBAL dataBlock = GlobalHandle(dataAddress);
  ASSERT_NE(dataBlock, nullptr);
  EXPECT_GE(GlobalSize(dataBlock), 4u);
  std::vector<uint8_t> values;
  ASSERT_TRUE(ReadParameters(session, &values));
  ASSERT_GE(values.size(), 4u);
  EXPECT_EQ(values[0] | values[1] | values[2] | values[3], 0);
}

TEST_F(PluginEntry, HostSuppliedParametersAreUsed) {
  Open();
  const FilterParameters saved = {1, 17};
  ASSERT_TRUE(SetParameters(session, &saved, sizeof saved));
  const Handle parameters = session->parameters;
  MakeImage(&image, 10, 10, 3, false, 8);
  ASSERT_EQ(RunFilter(session, &image, HostRunOptions{}).result, noErr);
  EXPECT_EQ(session->parameters, parameters);
  auto* values = reinterpret_cast<FilterParameters*>(*session->parameters);
  EXPECT_EQ(values->draw, 1);
  EXPECT_EQ(values->shft, 17);
}
