// Recording and playback through the real plug-in: what it records at
// Finish, what it takes from a played-back descriptor, whether the dialog
// opens, and what it does with damaged suites.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/wine/dialog_user.h"
#include "tests/wine/plugin_fixture.h"

namespace {

constexpr DescriptorKeyID kDraw = 0x64726177, kShft = 0x73686674;
constexpr DescriptorKeyID kName = 0x4E6D2020, kAmount = 0x416D6E74;  // 'Nm  ', 'Amnt'

DescriptorItem Item(DescriptorKeyID key, int32_t value, DescriptorTypeID type = kTypeInteger) {
  DescriptorItem item;
  item.key = key;
  item.type = type;
  item.integer = value;
  return item;
}

class Scripting : public PluginFixture {
 protected:
  // One run in a fresh session: the stored parameters, then the playback if any.
  void Run(const HostOptions& options, FilterParameters stored, const HostDescriptor* play = nullptr,
           int16_t playInfo = 0, bool showDialog = false) {
    TearDown();
    Open(options);
    if (HasFatalFailure()) return;
    ASSERT_TRUE(MakeImage(&image, 61, 43, 3, false, 8));
    FillGradient(&image);
    ASSERT_TRUE(SetParameters(session, &stored, sizeof stored));
    if (play != nullptr) PlayBack(session, *play, playInfo);
    HostRunOptions run;
    run.showDialog = showDialog;
    report = RunFilter(session, &image, run);
    ASSERT_EQ(report.result, noErr) << report.error;
  }

  FilterParameters Stored() const {
    std::vector<uint8_t> bytes;
    FilterParameters values = {0, 0};
    if (ReadParameters(session, &bytes) && bytes.size() >= sizeof values) std::memcpy(&values, bytes.data(), sizeof values);
    return values;
  }

  void ExpectRecorded(int32_t draw, int32_t shft) {
    ASSERT_TRUE(session->hasRecorded);
    ASSERT_EQ(session->recorded.size(), 2u);
    EXPECT_EQ(session->recorded[0].key, kDraw);
    EXPECT_EQ(session->recorded[0].integer, draw);
    EXPECT_EQ(session->recorded[1].key, kShft);
    EXPECT_EQ(session->recorded[1].integer, shft);
    EXPECT_EQ(session->recordedInfo, 0);
  }

  HostRunReport report;
};

}  // namespace

TEST_F(Scripting, ARecordedRunPlaysBackToTheSameImage) {
  HostOptions options;
  options.descriptors.recordInfo = 2;  // the plug-in must set it
  Run(options, {drawSpiral, 41});
  ExpectRecorded(1, 41);
  const HostImage recordedImage = image;
  const HostDescriptor action = session->recorded;

  struct Playback {
    int16_t playInfo;
    bool parametersFirst;
  };
  for (const Playback& p : {Playback{2, false}, Playback{0, false}, Playback{0, true}, Playback{2, true}}) {
    SCOPED_TRACE(testing::Message() << "playInfo " << p.playInfo << (p.parametersFirst ? " after Parameters" : ""));
    Run(options, {drawNormal, 0}, &action, p.playInfo, p.parametersFirst);
    EXPECT_EQ(image.pixels, recordedImage.pixels);
    EXPECT_EQ(report.advances.size(), 1u);  // no dialog: only Start's own request
    EXPECT_EQ(Stored().draw, drawSpiral);
    EXPECT_EQ(Stored().shft, 41);
    ExpectRecorded(1, 41);
    EXPECT_EQ(session->log.descriptorsLeftToHost, 0);
    EXPECT_EQ(session->log.unexpectedDescriptorCalls, 0);
    EXPECT_EQ(session->log.foreignDescriptorCalls, 0);
    EXPECT_EQ(session->log.foreignHandleCalls, 0);
    EXPECT_EQ(session->log.readKeys, (std::vector<DescriptorKeyID>{kDraw, kShft, 0}));
  }
}

TEST_F(Scripting, ARunRecordedThroughTheDialogPlaysBackSilentlyAndThroughTheDialog) {
  DialogUser user;
  user.chooseSpiral = true;
  user.typeShift = "1234";
  HostOptions options;
  options.dialogHook = UseDialog;
  options.dialogContext = &user;
  Run(options, {drawNormal, 0}, nullptr, 0, true);
  EXPECT_TRUE(user.acted);
  ExpectRecorded(1, 1234);
  const HostImage recordedImage = image;
  const HostDescriptor action = session->recorded;

  for (int16_t playInfo : {int16_t(2), int16_t(1)}) {
    SCOPED_TRACE(playInfo);
    user = DialogUser();
    Run(options, {drawNormal, 0}, &action, playInfo);
    EXPECT_EQ(user.acted, playInfo == 1);
    if (playInfo == 1) {  // the dialog opened with the recorded values
      EXPECT_TRUE(user.spiralShown);
      EXPECT_EQ(user.shiftShown, "1234");
    }
    EXPECT_EQ(image.pixels, recordedImage.pixels);
    ExpectRecorded(1, 1234);
    EXPECT_EQ(session->log.descriptorsLeftToHost, 0);
  }
}

TEST_F(Scripting, PlaybackTakesTheLow16BitsAndSkipsForeignKeys) {
  DescriptorItem amount = Item(kAmount, 0, kTypeFloat);
  amount.number = 2.5;
  const struct {
    HostDescriptor action;
    int16_t draw;
    uint16_t shft;
  } cases[] = {
      {{Item(kShft, 1234)}, drawSpiral, 1234},  // draw as stored
      {{Item(kShft, 70000)}, drawSpiral, 4464},
      {{Item(kDraw, 65535)}, -1, 9},
      {{Item(kName, 1, kTypeBoolean), amount, Item(kShft, 65535), Item(kDraw, 0)}, drawNormal, 65535},
  };
  for (const auto& c : cases) {
    Run(HostOptions{}, {drawSpiral, 9}, &c.action, 2);
    EXPECT_EQ(Stored().draw, c.draw);
    EXPECT_EQ(Stored().shft, c.shft);
    // Recorded as used: the sign of draw and the full range of shft kept.
    ExpectRecorded(c.draw, c.shft);
    EXPECT_EQ(session->log.unexpectedDescriptorCalls, 0);
  }
}

TEST_F(Scripting, DamagedSuitesAreNotUsedAtAll) {
  const HostDescriptor action = {Item(kShft, 77)};
  struct Damage {
    const char* what;
    void (*apply)(DescriptorSuiteOptions*);
    bool reads;  // the reading direction still works
  };
  const Damage damages[] = {
      {"17 read procs", [](DescriptorSuiteOptions* d) { d->readCount = 17; }, false},
      {"null last read proc", [](DescriptorSuiteOptions* d) { d->nullReadProc = 17; }, false},
      {"no descriptor suites", [](DescriptorSuiteOptions* d) { d->absent = true; }, false},
      {"null putIntegerProc", [](DescriptorSuiteOptions* d) { d->nullWriteProc = 2; }, true},
      {"no writer", [](DescriptorSuiteOptions* d) { d->refuseWriter = true; }, true},
  };
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.what);
    HostOptions options;
    damage.apply(&options.descriptors);
    Run(options, {drawSpiral, 5}, &action, 2);
    EXPECT_EQ(Stored().shft, damage.reads ? 77 : 5);
    EXPECT_FALSE(session->hasRecorded);
    // An unread descriptor stays with the host; a read one was disposed of,
    // and the write that could not happen left nothing behind.
    EXPECT_EQ(session->log.descriptorsLeftToHost, damage.reads || options.descriptors.absent ? 0 : 1);
    EXPECT_EQ(session->log.foreignDescriptorCalls, 0);
  }
}

TEST_F(Scripting, WithoutAUsableHandleSuiteTheDescriptorIsLeftToTheHost) {
  Run(HostOptions{}, {drawSpiral, 300});
  const HostImage recordedImage = image;
  const HostDescriptor action = session->recorded;
  for (int damage = 0; damage < 3; ++damage) {
    SCOPED_TRACE(damage);
    HostOptions options;
    options.handles.absent = damage == 0;
    options.handles.count = damage == 1 ? 6 : 8;
    options.handles.nullProc = damage == 2 ? 1 : -1;  // no disposeProc
    Run(options, {drawNormal, 0}, &action, 2);
    EXPECT_EQ(image.pixels, recordedImage.pixels);
    ExpectRecorded(1, 300);
    EXPECT_EQ(session->log.descriptorsLeftToHost, 1);  // the played one, never given to our own disposer
    EXPECT_EQ(session->log.foreignHandleCalls, 0);
  }
}

TEST_F(Scripting, AReaderThatCannotBeOpenedStillDecidesTheDialog) {
  HostOptions options;
  options.descriptors.refuseReader = true;
  const HostDescriptor action = {Item(kShft, 77)};
  Run(options, {drawSpiral, 5}, &action, 0, true);
  EXPECT_EQ(report.advances.size(), 1u);
  EXPECT_EQ(Stored().shft, 5);
  ExpectRecorded(1, 5);
  EXPECT_EQ(session->log.descriptorsLeftToHost, 0);  // the old one went at Finish
}
