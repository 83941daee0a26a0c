// Recording and playback of the parameters, through PluginMain with a fake
// host whose descriptor suites each test arranges.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "host/handles.h"
#include "host/platform.h"
#include "host/platform_testing.h"
#include "host/plugin_entry.h"
#include "host/remembered_parameters.h"
#include "resources/terminology_ids.h"
#include "scripting/script_parameters.h"
#include "tests/native/test_handle_suite.h"

namespace {

constexpr DescriptorTypeID typeInteger = 0x6C6F6E67;  // 'long'
constexpr DescriptorTypeID typeBoolean = 0x626F6F6C;  // 'bool'
constexpr DescriptorKeyID keyForeign = 0x4E6D2020;    // 'Nm  '

struct Item {
  DescriptorKeyID key;
  DescriptorTypeID type;
  int32_t value;
};

// What the fake host holds and saw. One instance, reset by the fixture.
struct FakeScripting {
  std::vector<Item> descriptor;  // what the reader delivers
  size_t next = 0;
  bool refuseReader = false;
  bool refuseWriter = false;
  OSErr closeStatus = noErr;
  bool strictTypes = false;  // getIntegerProc refuses other types without writing
  bool endless = false;      // getKeyProc never runs out of keys
  size_t keysGiven = 0;
  std::vector<DescriptorKeyID> keysOffered;
  std::vector<DescriptorKeyID> integersFetched;
  int closeReads = 0;
  std::vector<Item> written;
  int closeWrites = 0;
  Handle made = nullptr;  // the last descriptor the writer made
};
FakeScripting fake;
int readerToken = 0, writerToken = 0;

PIReadDescriptor PI_CALL OpenRead(PIDescriptorHandle, DescriptorKeyID* keys) {
  for (DescriptorKeyID* key = keys; key != nullptr; ++key) {
    fake.keysOffered.push_back(*key);
    if (*key == 0) break;
  }
  fake.next = 0;
  return fake.refuseReader ? nullptr : &readerToken;
}
OSErr PI_CALL CloseRead(PIReadDescriptor) {
  ++fake.closeReads;
  return fake.closeStatus;
}
Boolean PI_CALL GetKey(PIReadDescriptor, DescriptorKeyID* key, DescriptorTypeID* type, int32_t* flags) {
  ++fake.keysGiven;
  if (fake.endless && fake.next >= fake.descriptor.size()) fake.next = 0;
  if (fake.next >= fake.descriptor.size()) return 0;
  *key = fake.descriptor[fake.next].key;
  *type = fake.descriptor[fake.next].type;
  *flags = 0;
  ++fake.next;
  return 1;
}
OSErr PI_CALL GetInteger(PIReadDescriptor, int32_t* value) {
  const Item& item = fake.descriptor[fake.next - 1];
  fake.integersFetched.push_back(item.key);
  if (fake.strictTypes && item.type != typeInteger) return -50;
  *value = item.value;
  return item.type == typeInteger ? noErr : -50;
}
PIWriteDescriptor PI_CALL OpenWrite() { return fake.refuseWriter ? nullptr : &writerToken; }
OSErr PI_CALL PutInteger(PIWriteDescriptor, DescriptorKeyID key, int32_t value) {
  fake.written.push_back({key, typeInteger, value});
  return noErr;
}
// A new descriptor is a host handle, made by the host's own suite.
OSErr PI_CALL CloseWrite(PIWriteDescriptor, PIDescriptorHandle* descriptor) {
  ++fake.closeWrites;
  *descriptor = fake.made = HostNew(static_cast<int32_t>(fake.written.size() * sizeof(Item)));
  return noErr;
}
void PI_CALL NeverCalled() { ADD_FAILURE() << "a descriptor proc the plug-in has no use for"; }

class Scripting : public ::testing::Test {
 protected:
  void SetUp() override {
    HostApp = hostOther;
    fake = FakeScripting();
    ForgetRememberedParameters();
    hostHandlesMade = hostHandlesDisposed = 0;
    hostAllocationsLeft = -1;
    std::memset(&record, 0, sizeof record);
    record.imageSize = {30, 40};
    record.planes = 3;
    record.imageMode = plugInModeRGBColor;
    record.filterRect = {0, 0, 30, 40};
    record.advanceState = []() -> OSErr { return noErr; };
    handleProcs = HostProcs();
    record.handleProcs = &handleProcs;
    readProcs = {0, 18, OpenRead, CloseRead, GetKey, GetInteger, {}};
    for (UnusedDescriptorProc& proc : readProcs.otherProcs) proc = NeverCalled;
    writeProcs = {0, 16, OpenWrite, CloseWrite, PutInteger, {}};
    for (UnusedDescriptorProc& proc : writeProcs.otherProcs) proc = NeverCalled;
    scripting = {0, plugInDialogDontDisplay, plugInDialogNone, nullptr, &writeProcs, &readProcs};
    record.descriptorParameters = &scripting;
  }
  void TearDown() override {
    if (scripting.descriptor != nullptr) HostDispose(scripting.descriptor);
    DisposeFallbackHandle(record.parameters);
    if (data != 0) FreeLockedBlock(reinterpret_cast<void*>(data));
  }

  // A fresh host and plug-in state, for table-driven cases.
  void Restart() {
    TearDown();
    data = 0;
    SetUp();
  }

  int16_t Call(int16_t selector) {
    result = 12345;
    PluginMain(selector, &record, &data, &result);
    return result;
  }
  FilterGlobals* Globals() const { return reinterpret_cast<FilterGlobals*>(data); }
  FilterParameters Values() const { return *GetFilterParameters(&record); }

  // The parameters block as a previous run left it.
  void Stored(int16_t draw, uint16_t shft) {
    Call(filterSelectorPrepare);
    *GetFilterParameters(&record) = {draw, shft};
  }
  // A descriptor handed in for playback, holding `items`.
  void PlayBack(std::vector<Item> items, int16_t playInfo) {
    fake.descriptor = std::move(items);
    scripting.descriptor = HostNew(16);
    scripting.playInfo = playInfo;
  }

  // Public, for the damage tables' lambdas.
 public:
  FilterRecord record;
  HandleProcs handleProcs;
  ReadDescriptorProcs readProcs;
  WriteDescriptorProcs writeProcs;
  PIDescriptorParameters scripting;
  intptr_t data = 0;
  int16_t result = 0;
};

TEST(ScriptingAvailable, NeedsBothCompleteTables) {
  ReadDescriptorProcs read = {0, 18, OpenRead, CloseRead, GetKey, GetInteger, {}};
  for (UnusedDescriptorProc& proc : read.otherProcs) proc = NeverCalled;
  WriteDescriptorProcs write = {0, 16, OpenWrite, CloseWrite, PutInteger, {}};
  PIDescriptorParameters parameters = {0, 0, 0, nullptr, &write, &read};
  EXPECT_TRUE(ScriptingAvailable(&parameters));  // write procs are not tested one by one

  struct Damage {
    const char* what;
    void (*apply)(PIDescriptorParameters*);
  };
  const Damage damages[] = {
      {"record version 1", [](PIDescriptorParameters* p) { p->descriptorParametersVersion = 1; }},
      {"no read table", [](PIDescriptorParameters* p) { p->readDescriptorProcs = nullptr; }},
      {"no write table", [](PIDescriptorParameters* p) { p->writeDescriptorProcs = nullptr; }},
      {"read version 1", [](PIDescriptorParameters* p) { p->readDescriptorProcs->readDescriptorProcsVersion = 1; }},
      {"17 read procs", [](PIDescriptorParameters* p) { p->readDescriptorProcs->numReadDescriptorProcs = 17; }},
      {"write version 1", [](PIDescriptorParameters* p) { p->writeDescriptorProcs->writeDescriptorProcsVersion = 1; }},
      {"15 write procs", [](PIDescriptorParameters* p) { p->writeDescriptorProcs->numWriteDescriptorProcs = 15; }},
  };
  for (const Damage& damage : damages) {
    ReadDescriptorProcs readCopy = read;
    WriteDescriptorProcs writeCopy = write;
    PIDescriptorParameters copy = {0, 0, 0, nullptr, &writeCopy, &readCopy};
    damage.apply(&copy);
    EXPECT_FALSE(ScriptingAvailable(&copy)) << damage.what;
  }
  EXPECT_FALSE(ScriptingAvailable(nullptr));

  // Counts are unsigned: 0x8000 and more are plenty.
  read.numReadDescriptorProcs = static_cast<int16_t>(0x8000);
  write.numWriteDescriptorProcs = -1;
  EXPECT_TRUE(ScriptingAvailable(&parameters));
}

TEST(ScriptingAvailable, AnyNullReadProcDisablesScripting) {
  for (int slot = 0; slot < 18; ++slot) {
    ReadDescriptorProcs read = {0, 18, OpenRead, CloseRead, GetKey, GetInteger, {}};
    for (UnusedDescriptorProc& proc : read.otherProcs) proc = NeverCalled;
    WriteDescriptorProcs write = {0, 16, OpenWrite, CloseWrite, PutInteger, {}};
    PIDescriptorParameters parameters = {0, 0, 0, nullptr, &write, &read};
    if (slot == 0) read.openReadDescriptorProc = nullptr;
    if (slot == 1) read.closeReadDescriptorProc = nullptr;
    if (slot == 2) read.getKeyProc = nullptr;
    if (slot == 3) read.getIntegerProc = nullptr;
    if (slot >= 4) read.otherProcs[slot - 4] = nullptr;
    EXPECT_FALSE(ScriptingAvailable(&parameters)) << "slot " << slot;
  }
}

TEST_F(Scripting, PlaybackReadsTheLow16BitsAndLeavesMissingKeys) {
  struct Case {
    std::vector<Item> items;
    int16_t draw;
    uint16_t shft;
  };
  const Case cases[] = {
      {{{keyShft, typeInteger, 1234}}, 1, 1234},  // draw stays as it was
      {{{keyShft, typeInteger, 70000}}, 1, 4464},
      {{{keyDraw, typeInteger, 65535}}, -1, 7},
      {{{keyDraw, typeInteger, 0}, {keyShft, typeInteger, -1}}, 0, 65535},
      {{}, 1, 7},
  };
  for (const Case& c : cases) {
    Stored(drawSpiral, 7);
    PlayBack(c.items, plugInDialogSilent);
    fake.keysOffered.clear();
    EXPECT_EQ(Call(filterSelectorStart), noErr);
    EXPECT_EQ(Values().draw, c.draw);
    EXPECT_EQ(Values().shft, c.shft);
    EXPECT_EQ(fake.keysOffered, (std::vector<DescriptorKeyID>{keyDraw, keyShft, 0}));
  }
}

TEST_F(Scripting, ForeignKeysAreSkippedWithoutFetching) {
  Stored(drawNormal, 0);
  PlayBack({{keyForeign, typeBoolean, 1}, {keyShft, typeInteger, 99}, {keyForeign, typeInteger, 5}},
           plugInDialogSilent);
  Call(filterSelectorStart);
  EXPECT_EQ(fake.integersFetched, (std::vector<DescriptorKeyID>{keyShft}));
  EXPECT_EQ(Values().shft, 99);
}

// A host that checks types answers a boolean or float key with an error,
// with or without writing something into the value: the parameter keeps what
// it had, and the run goes on.
TEST_F(Scripting, KeysOfAnotherTypeLeaveTheParametersAsTheyWere) {
  for (bool strict : {true, false}) {
    SCOPED_TRACE(strict ? "value left alone" : "value written with the error");
    Restart();
    fake.strictTypes = strict;
    Stored(drawSpiral, 300);
    PlayBack({{keyDraw, typeBoolean, 0}, {keyShft, 0x646F7562 /* 'doub' */, 5}}, plugInDialogSilent);
    EXPECT_EQ(Call(filterSelectorStart), noErr);
    EXPECT_EQ(fake.integersFetched, (std::vector<DescriptorKeyID>{keyDraw, keyShft}));
    EXPECT_EQ(Values().draw, drawSpiral);
    EXPECT_EQ(Values().shft, 300);
  }
}

// A reader that never says it is done is left after a bounded number of
// keys; what it gave so far counts.
TEST_F(Scripting, AReaderThatNeverEndsIsLeft) {
  fake.endless = true;
  Stored(drawSpiral, 7);
  PlayBack({{keyForeign, typeBoolean, 1}, {keyShft, typeInteger, 99}}, plugInDialogSilent);
  EXPECT_EQ(Call(filterSelectorStart), noErr);
  EXPECT_EQ(Values().shft, 99);
  EXPECT_EQ(fake.closeReads, 1);
  EXPECT_GT(fake.keysGiven, 2u);
  EXPECT_LE(fake.keysGiven, 4096u);
}

TEST_F(Scripting, PlayInfoDecidesTheDialog) {
  const struct {
    bool parametersFirst;
    int16_t playInfo;
    int16_t showDialog;
  } cases[] = {
      {true, plugInDialogDontDisplay, 0}, {true, plugInDialogSilent, 0}, {true, plugInDialogDisplay, 1},
      {false, plugInDialogDisplay, 1},    {false, plugInDialogDontDisplay, 0},
  };
  for (const auto& c : cases) {
    Stored(drawNormal, 0);
    if (c.parametersFirst) Call(filterSelectorParameters);
    PlayBack({}, c.playInfo);
    fake.refuseReader = c.playInfo == plugInDialogDontDisplay;  // the wish counts even without a reader
    Globals()->showDialog = c.parametersFirst ? 1 : 0;
    ReadScriptParameters(Globals());
    EXPECT_EQ(Globals()->showDialog, c.showDialog) << c.parametersFirst << " " << c.playInfo;
    if (fake.refuseReader) HostDispose(scripting.descriptor);
    scripting.descriptor = nullptr;
  }
}

TEST_F(Scripting, TheDescriptorIsDisposedOnlyThroughTheHostsSuite) {
  Stored(drawNormal, 0);
  PlayBack({{keyShft, typeInteger, 3}}, plugInDialogSilent);
  Call(filterSelectorStart);
  EXPECT_EQ(hostHandlesDisposed, 1);
  EXPECT_EQ(scripting.descriptor, nullptr);

  // Without a usable handle suite our own disposer would take the host's
  // handle for one of ours: the descriptor is left to the host.
  for (bool absent : {true, false}) {
    handleProcs.numHandleProcs = 6;
    record.handleProcs = absent ? nullptr : &handleProcs;
    PlayBack({{keyShft, typeInteger, 4}}, plugInDialogSilent);
    Handle given = scripting.descriptor;
    const int blocks = LiveLockedBlocks();
    Call(filterSelectorStart);
    EXPECT_EQ(Values().shft, 4);
    EXPECT_EQ(scripting.descriptor, given);
    EXPECT_EQ(LiveLockedBlocks(), blocks);
    EXPECT_EQ(hostHandlesDisposed, 1);
    HostDispose(given);  // still ours to free (a second free would be caught by ASan)
    scripting.descriptor = nullptr;
    hostHandlesDisposed = 1;
  }
}

TEST_F(Scripting, NoReaderChangesNothingAndClosesNothing) {
  Stored(drawSpiral, 9);
  PlayBack({{keyShft, typeInteger, 3}}, plugInDialogSilent);
  fake.refuseReader = true;
  Handle given = scripting.descriptor;
  EXPECT_EQ(Call(filterSelectorStart), noErr);
  EXPECT_EQ(Values().shft, 9);
  EXPECT_EQ(fake.closeReads, 0);
  EXPECT_EQ(scripting.descriptor, given);  // disposed by the next Finish
  Call(filterSelectorFinish);
  EXPECT_EQ(hostHandlesDisposed, 1);
}

// The reader's close status is handed back to Start, which goes on: the host
// sees Start's own answer, then as now, whether or not the dialog shows.
TEST_F(Scripting, TheHostNeverSeesTheCloseStatus) {
  static const int16_t* word;
  static int16_t wordDuringRequest;
  static OSErr answer;
  word = &result;
  record.advanceState = []() -> OSErr {
    wordDuringRequest = *word;
    return answer;
  };
  for (OSErr status : {OSErr(noErr), OSErr(errMissingParameter), OSErr(-50), OSErr(2)}) {
    for (int16_t playInfo : {plugInDialogSilent, plugInDialogDisplay}) {
      for (OSErr host : {OSErr(noErr), OSErr(memFullErr)}) {
        Stored(drawNormal, 0);
        PlayBack({{keyShft, typeInteger, 5}}, playInfo);
        fake.closeStatus = status;
        answer = host;
        wordDuringRequest = 777;
        EXPECT_EQ(Call(filterSelectorStart), host) << status << " " << playInfo;
        EXPECT_EQ(wordDuringRequest, noErr) << status << " " << playInfo;
        EXPECT_EQ(Values().shft, 5);
      }
    }
    PlayBack({}, plugInDialogSilent);
    result = 777;
    EXPECT_EQ(ReadScriptParameters(Globals()), status);
    EXPECT_EQ(result, 777);
  }
}

TEST_F(Scripting, FinishRecordsBothKeysWidenedByTheirSign) {
  const struct {
    int16_t draw;
    uint16_t shft;
  } cases[] = {{-1, 65535}, {1, 41}, {0, 0}};
  for (const auto& c : cases) {
    Stored(c.draw, c.shft);
    fake.written.clear();
    scripting.descriptor = HostNew(4);
    scripting.recordInfo = plugInDialogNone;
    hostHandlesDisposed = 0;
    EXPECT_EQ(Call(filterSelectorFinish), noErr);
    ASSERT_EQ(fake.written.size(), 2u);
    EXPECT_EQ(fake.written[0].key, keyDraw);
    EXPECT_EQ(fake.written[0].value, static_cast<int32_t>(c.draw));
    EXPECT_EQ(fake.written[1].key, keyShft);
    EXPECT_EQ(fake.written[1].value, static_cast<int32_t>(c.shft));
    EXPECT_EQ(hostHandlesDisposed, 1);  // the old descriptor
    EXPECT_EQ(scripting.descriptor, fake.made);
    EXPECT_EQ(scripting.recordInfo, plugInDialogOptional);
    HostDispose(scripting.descriptor);
    scripting.descriptor = nullptr;
  }
}

TEST_F(Scripting, DamagedSuitesStopBothDirections) {
  struct Damage {
    const char* what;
    void (*apply)(Scripting*);
  };
  const Damage damages[] = {
      {"17 read procs", [](Scripting* t) { t->readProcs.numReadDescriptorProcs = 17; }},
      {"a null read proc", [](Scripting* t) { t->readProcs.otherProcs[13] = nullptr; }},
      {"no write table", [](Scripting* t) { t->scripting.writeDescriptorProcs = nullptr; }},
  };
  for (const Damage& damage : damages) {
    Restart();
    damage.apply(this);
    Stored(drawSpiral, 5);
    PlayBack({{keyShft, typeInteger, 3}}, plugInDialogDisplay);
    Handle given = scripting.descriptor;
    EXPECT_EQ(Call(filterSelectorStart), noErr) << damage.what;
    EXPECT_EQ(Values().shft, 5) << damage.what;
    EXPECT_TRUE(fake.keysOffered.empty()) << damage.what;
    Call(filterSelectorFinish);
    EXPECT_TRUE(fake.written.empty()) << damage.what;
    EXPECT_EQ(scripting.descriptor, given) << damage.what;
    EXPECT_EQ(scripting.recordInfo, plugInDialogNone) << damage.what;
  }
}

TEST_F(Scripting, MissingWriteProcsOrWriterRecordNothing) {
  struct Damage {
    const char* what;
    void (*apply)(Scripting*);
  };
  const Damage damages[] = {
      {"no open", [](Scripting* t) { t->writeProcs.openWriteDescriptorProc = nullptr; }},
      {"no close", [](Scripting* t) { t->writeProcs.closeWriteDescriptorProc = nullptr; }},
      {"no putInteger", [](Scripting* t) { t->writeProcs.putIntegerProc = nullptr; }},
      {"writer refused", [](Scripting*) { fake.refuseWriter = true; }},
  };
  for (const Damage& damage : damages) {
    Restart();
    damage.apply(this);
    Stored(drawSpiral, 5);
    Handle old = HostNew(4);
    scripting.descriptor = old;
    EXPECT_EQ(Call(filterSelectorFinish), noErr) << damage.what;
    EXPECT_TRUE(fake.written.empty()) << damage.what;
    EXPECT_EQ(fake.closeWrites, 0) << damage.what;
    EXPECT_EQ(scripting.descriptor, old) << damage.what;
    EXPECT_EQ(hostHandlesDisposed, 0) << damage.what;
  }
}

}  // namespace
