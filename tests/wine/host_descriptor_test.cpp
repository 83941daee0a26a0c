// Our host's scripting suites, as a stand-in plug-in sees them: the record and
// its tables, typed descriptors read and written, actions kept and played
// back, and each suite or proc left out or damaged.
#include <gtest/gtest.h>

#include <vector>

#include "tests/wine/host_fake_plugin.h"

namespace {

constexpr DescriptorKeyID kDraw = 0x64726177, kShft = 0x73686674, kName = 0x4E6D2020;  // 'Nm  '

class HostDescriptors : public HostFixture {
 protected:
  void Open(const HostOptions& options = HostOptions{}) {
    HostFixture::Open(options);
    Make(4, 4, 1, false, 8);
  }
};

DescriptorItem Integer(DescriptorKeyID key, int32_t value) {
  DescriptorItem item;
  item.key = key;
  item.integer = value;
  return item;
}

DescriptorItem Flag(DescriptorKeyID key, bool value) {
  DescriptorItem item = Integer(key, value ? 1 : 0);
  item.type = kTypeBoolean;
  return item;
}

// The read procs beyond the four named ones, by slot.
template <class F>
F ReadSlot(const ReadDescriptorProcs* procs, int slot) {
  return reinterpret_cast<F>(procs->otherProcs[slot - 4]);
}

}  // namespace

TEST_F(HostDescriptors, OffersCompleteSuitesAndThePlayWishOfTheRun) {
  Open();
  std::vector<int16_t> playInfos;
  FakeBehaviour() = [&](const FakeCall& call) {
    const PIDescriptorParameters* parameters = call.filter()->descriptorParameters;
    ASSERT_NE(parameters, nullptr);
    playInfos.push_back(parameters->playInfo);
    EXPECT_EQ(parameters->descriptorParametersVersion, 0);
    EXPECT_EQ(parameters->recordInfo, 0);
    EXPECT_EQ(parameters->descriptor, nullptr);
    const ReadDescriptorProcs* read = parameters->readDescriptorProcs;
    const WriteDescriptorProcs* write = parameters->writeDescriptorProcs;
    ASSERT_TRUE(read != nullptr && write != nullptr);
    EXPECT_EQ(read->readDescriptorProcsVersion, 0);
    EXPECT_EQ(read->numReadDescriptorProcs, 18);
    EXPECT_EQ(write->writeDescriptorProcsVersion, 0);
    EXPECT_EQ(write->numWriteDescriptorProcs, 16);
    EXPECT_TRUE(read->openReadDescriptorProc && read->closeReadDescriptorProc && read->getKeyProc &&
                read->getIntegerProc);
    for (UnusedDescriptorProc proc : read->otherProcs) EXPECT_NE(proc, nullptr);
    EXPECT_TRUE(write->openWriteDescriptorProc && write->closeWriteDescriptorProc && write->putIntegerProc);
    for (UnusedDescriptorProc proc : write->otherProcs) EXPECT_NE(proc, nullptr);
  };
  HostRunOptions run;
  run.showDialog = true;
  RunFilter(session, &image, run);  // opened from the menu: display
  RunFilter(session, &image, HostRunOptions{});  // repeated: don't display
  EXPECT_EQ(playInfos, (std::vector<int16_t>{1, 1, 1, 1, 0, 0, 0}));  // no request: no Continue
}

TEST_F(HostDescriptors, ReaderDeliversTypedKeysAndReportsWhatWasMissing) {
  Open();
  PlayBack(session, {Flag(kName, true), Integer(kShft, 70000)}, 2);
  Begin();
  struct Read {
    std::vector<DescriptorKeyID> keys;
    int32_t shift = 0;
    Boolean flag = 0;
    OSErr integerOfFlag = 0, closed = 0;
  } read;
  DuringStart([&](FilterRecord* record) {
    PIDescriptorParameters* parameters = record->descriptorParameters;
    EXPECT_EQ(parameters->playInfo, 2);
    const ReadDescriptorProcs* procs = parameters->readDescriptorProcs;
    DescriptorKeyID expected[] = {kDraw, kShft, 0};
    PIReadDescriptor reader = procs->openReadDescriptorProc(parameters->descriptor, expected);
    ASSERT_NE(reader, nullptr);
    DescriptorKeyID key;
    DescriptorTypeID type;
    int32_t flags;
    while (procs->getKeyProc(reader, &key, &type, &flags)) {
      read.keys.push_back(key);
      if (key == kShft) {
        EXPECT_EQ(type, kTypeInteger);
        EXPECT_EQ(procs->getIntegerProc(reader, &read.shift), noErr);
      } else {
        EXPECT_EQ(type, kTypeBoolean);
        ReadSlot<OSErr(PI_CALL*)(PIReadDescriptor, Boolean*)>(procs, 6)(reader, &read.flag);
      }
    }
    read.closed = procs->closeReadDescriptorProc(reader);
    record->handleProcs->disposeProc(parameters->descriptor);
  });
  EXPECT_EQ(read.keys, (std::vector<DescriptorKeyID>{kName, kShft}));
  EXPECT_EQ(read.shift, 70000);
  EXPECT_EQ(read.flag, 1);
  EXPECT_EQ(read.closed, errMissingParameter);  // 'draw' never came
  EXPECT_EQ(session->log.readKeys, (std::vector<DescriptorKeyID>{kDraw, kShft, 0}));
  EXPECT_EQ(session->log.foreignDescriptorCalls, 0);
  EndRun(session);
  EXPECT_EQ(session->log.descriptorsLeftToHost, 0);
}

TEST_F(HostDescriptors, AWrongTypeIsTheStickyErrorAndForeignTokensAreRefused) {
  Open();
  PlayBack(session, {Flag(kDraw, true), Integer(kShft, 3)}, 0);
  Begin();
  DuringStart([&](FilterRecord* record) {
    PIDescriptorParameters* parameters = record->descriptorParameters;
    const ReadDescriptorProcs* procs = parameters->readDescriptorProcs;
    DescriptorKeyID expected[] = {kDraw, kShft, 0};
    PIReadDescriptor reader = procs->openReadDescriptorProc(parameters->descriptor, expected);
    DescriptorKeyID key;
    DescriptorTypeID type;
    int32_t flags, value = 0;
    ASSERT_TRUE(procs->getKeyProc(reader, &key, &type, &flags));
    EXPECT_EQ(procs->getIntegerProc(reader, &value), -50);
    ASSERT_TRUE(procs->getKeyProc(reader, &key, &type, &flags));
    EXPECT_EQ(procs->getIntegerProc(reader, &value), noErr);
    int stranger = 0;
    EXPECT_FALSE(procs->getKeyProc(&stranger, &key, &type, &flags));
    EXPECT_EQ(procs->closeReadDescriptorProc(&stranger), -50);
    EXPECT_EQ(procs->openReadDescriptorProc(reinterpret_cast<Handle>(&stranger), expected), nullptr);
    EXPECT_EQ(procs->closeReadDescriptorProc(reader), -50);
  });
  EXPECT_EQ(session->log.foreignDescriptorCalls, 3);
  EndRun(session);
  EXPECT_EQ(session->log.descriptorsLeftToHost, 1);  // never disposed of: the host frees it
  EXPECT_EQ(LiveHandleCount(session), 0);
}

TEST_F(HostDescriptors, KeepsWhatFinishHandsBackAndPlaysItBack) {
  HostOptions options;
  options.descriptors.recordInfo = 2;
  Open(options);
  FakeBehaviour() = [](const FakeCall& call) {
    if (call.selector != filterSelectorFinish) return;
    PIDescriptorParameters* parameters = call.filter()->descriptorParameters;
    const WriteDescriptorProcs* procs = parameters->writeDescriptorProcs;
    PIWriteDescriptor writer = procs->openWriteDescriptorProc();
    procs->putIntegerProc(writer, kDraw, -1);
    reinterpret_cast<OSErr(PI_CALL*)(PIWriteDescriptor, DescriptorKeyID, Boolean)>(procs->otherProcs[2])(
        writer, kName, 1);
    procs->closeWriteDescriptorProc(writer, &parameters->descriptor);
    parameters->recordInfo = 0;
  };
  RunFilter(session, &image, HostRunOptions{});
  ASSERT_TRUE(session->hasRecorded);
  EXPECT_EQ(session->recordedInfo, 0);
  ASSERT_EQ(session->recorded.size(), 2u);
  EXPECT_EQ(session->recorded[0].key, kDraw);
  EXPECT_EQ(session->recorded[0].integer, -1);
  EXPECT_EQ(session->recorded[1].type, kTypeBoolean);
  EXPECT_EQ(LiveHandleCount(session), 0);

  std::vector<int32_t> played;
  FakeBehaviour() = [&](const FakeCall& call) {
    if (call.selector != filterSelectorStart) return;
    PIDescriptorParameters* parameters = call.filter()->descriptorParameters;
    const ReadDescriptorProcs* procs = parameters->readDescriptorProcs;
    DescriptorKeyID none[] = {0};
    PIReadDescriptor reader = procs->openReadDescriptorProc(parameters->descriptor, none);
    DescriptorKeyID key;
    DescriptorTypeID type;
    int32_t flags;
    while (procs->getKeyProc(reader, &key, &type, &flags)) played.push_back(static_cast<int32_t>(type));
    EXPECT_EQ(procs->closeReadDescriptorProc(reader), noErr);
  };
  PlayBack(session, session->recorded, 1);
  RunFilter(session, &image, HostRunOptions{});
  EXPECT_EQ(played, (std::vector<int32_t>{int32_t(kTypeInteger), int32_t(kTypeBoolean)}));
}

TEST_F(HostDescriptors, EachSuiteAndProcCanBeLeftOutOrDamaged) {
  HostOptions options;
  DescriptorSuiteOptions& damage = options.descriptors;
  damage.version = 1;
  damage.readVersion = 2;
  damage.readCount = 17;
  damage.nullReadProc = 9;
  damage.writeVersion = 3;
  damage.writeCount = 15;
  damage.nullWriteProc = 1;
  damage.refuseReader = damage.refuseWriter = true;
  Open(options);
  PlayBack(session, {Integer(kShft, 1)}, 0);
  Begin();
  DuringStart([](FilterRecord* record) {
    PIDescriptorParameters* parameters = record->descriptorParameters;
    EXPECT_EQ(parameters->descriptorParametersVersion, 1);
    const ReadDescriptorProcs* read = parameters->readDescriptorProcs;
    const WriteDescriptorProcs* write = parameters->writeDescriptorProcs;
    EXPECT_EQ(read->readDescriptorProcsVersion, 2);
    EXPECT_EQ(read->numReadDescriptorProcs, 17);
    EXPECT_EQ(read->otherProcs[5], nullptr);
    EXPECT_EQ(write->writeDescriptorProcsVersion, 3);
    EXPECT_EQ(write->numWriteDescriptorProcs, 15);
    EXPECT_EQ(write->closeWriteDescriptorProc, nullptr);
    DescriptorKeyID keys[] = {0};
    EXPECT_EQ(read->openReadDescriptorProc(parameters->descriptor, keys), nullptr);
    EXPECT_EQ(write->openWriteDescriptorProc(), nullptr);
  });

  for (int which = 0; which < 3; ++which) {
    CloseSession(session);
    HostOptions left;
    left.descriptors.absent = which == 0;
    left.descriptors.noReadProcs = which == 1;
    left.descriptors.noWriteProcs = which == 2;
    Open(left);
    Begin();
    DuringStart([which](FilterRecord* record) {
      PIDescriptorParameters* parameters = record->descriptorParameters;
      if (which == 0) {
        EXPECT_EQ(parameters, nullptr);
        return;
      }
      EXPECT_EQ(parameters->readDescriptorProcs == nullptr, which == 1);
      EXPECT_EQ(parameters->writeDescriptorProcs == nullptr, which == 2);
    });
  }
}
