// The real plug-in under hosts that misbehave the way real ones do: missing
// or damaged callbacks and tables, records that describe the document
// wrongly, failing requests, memory handed back in copies. Every case must
// end with its result code, never crash or hang, leave the image as it was
// unless the run succeeded, and leave the plug-in ready for a sound run.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tests/wine/dialog_driver.h"
#include "tests/wine/plugin_fixture.h"
#include "tests/wine/test_support.h"

namespace {

constexpr OSErr kHostInsufficient = -30900;

// How the run is started and, with a dialog, what the user does in it.
enum class Path {
  Plain,        // a repeated filter: no dialog
  Dialog,       // chosen from the menu, accepted at once
  PreviewDrag,  // the preview shown, dragged and released (a recompute), then OK
};

const char* PathName(Path path) {
  switch (path) {
    case Path::Plain: return "plain";
    case Path::Dialog: return "dialog";
    default: return "preview drag";
  }
}

struct Document {
  int32_t width = 40;
  int32_t height = 30;
  int32_t colorPlanes = 3;
  bool alpha = false;
  int32_t depth = 8;
};

struct HostileCase {
  const char* name;
  void (*damage)(HostOptions* options);
  OSErr plain;   // the run's result without a dialog
  OSErr dialog;  // with one (and with the preview dragged)
  Document document;
  bool changes = true;  // a successful run must change pixels
};

Document Alpha(int32_t depth = 8) { return Document{40, 30, 3, true, depth}; }
Document Gray16() { return Document{40, 30, 1, false, 16}; }

void ForceFilterRect(HostOptions* o, int16_t top, int16_t left, int16_t bottom, int16_t right) {
  o->forceFilterRect = true;
  o->forcedFilterRect = Rect{top, left, bottom, right};
}

void ForceImageSize(HostOptions* o, int16_t v, int16_t h) {
  o->forceImageSize = true;
  o->forcedImageSize = Point{v, h};
}

// Codes that depend on the path are spelled out per case.
const HostileCase kCases[] = {
    // Callbacks left out.
    {"no advanceState", [](HostOptions* o) { o->noAdvanceState = true; }, userCanceledErr, userCanceledErr, {}, false},
    {"no abortProc", [](HostOptions* o) { o->noAbortProc = true; }, noErr, noErr, {}},
    {"no progressProc", [](HostOptions* o) { o->noProgressProc = true; }, noErr, noErr, {}},
    {"no displayPixels", [](HostOptions* o) { o->noDisplayPixels = true; }, noErr, noErr, {}},
    {"displayPixels draws nothing", [](HostOptions* o) { o->displayDrawsNothing = true; }, noErr, noErr, {}},
    {"no abort or progress, pumping", [](HostOptions* o) { o->noAbortProc = o->noProgressProc = true; o->pump = MessagePump::UntilEmpty; }, noErr, noErr, {}},
    {"no platform data", [](HostOptions* o) { o->noPlatformData = true; }, noErr, noErr, {}},
    {"no host window", [](HostOptions* o) { o->nullWindow = true; }, noErr, noErr, {}},
    {"host window already destroyed", [](HostOptions* o) { o->staleWindow = true; }, noErr, noErr, {}},
    // The handle suite damaged.
    {"no handle suite", [](HostOptions* o) { o->handles.absent = true; }, noErr, noErr, {}},
    {"handle suite version 0", [](HostOptions* o) { o->handles.version = 0; }, noErr, noErr, {}},
    {"handle suite version 2", [](HostOptions* o) { o->handles.version = 2; }, noErr, noErr, {}},
    {"handle suite of 6 procs", [](HostOptions* o) { o->handles.count = 6; }, noErr, noErr, {}},
    {"handle suite count 0x8000", [](HostOptions* o) { o->handles.count = int16_t(0x8000); }, noErr, noErr, {}},
    {"handle suite without newProc", [](HostOptions* o) { o->handles.nullProc = 0; }, noErr, noErr, {}},
    {"handle suite without lockProc", [](HostOptions* o) { o->handles.nullProc = 4; }, noErr, noErr, {}},
    {"handle suite without disposeRegular", [](HostOptions* o) { o->handles.nullProc = 7; }, noErr, noErr, {}},
    {"handle suite with garbage after it", [](HostOptions* o) { o->handles.garbageAfter = true; }, noErr, noErr, {}},
    {"handle suite refusing memory", [](HostOptions* o) { o->handles.refuseNewAfter = 0; }, noErr, noErr, {}},
    {"handle suite with dirty memory", [](HostOptions* o) { o->handles.dirtyMemory = true; }, noErr, noErr, {}},
    // The record.
    {"record ending at byte 452", [](HostOptions* o) { o->shortRecord = true; }, noErr, noErr, {}},
    {"result word preset to garbage", [](HostOptions* o) { o->initialResult = 0x7A5A; }, noErr, noErr, {}},
    {"column bytes left 0", [](HostOptions* o) { o->zeroColumnBytes = true; }, noErr, noErr, {}},
    {"padded rows", [](HostOptions* o) { o->rowPaddingBytes = 13; }, noErr, noErr, {}},
    {"whole size left 0", [](HostOptions* o) { o->wholeSizeZero = true; }, noErr, noErr, {}},
    {"floating selection", [](HostOptions* o) { o->floatingSelection = o->selectionMask = true; }, noErr, noErr, {}},
    // Planes and modes.
    {"planes 0", [](HostOptions* o) { o->planesOverride = 0; }, filterBadParameters, filterBadParameters, {}, false},
    {"planes -1", [](HostOptions* o) { o->planesOverride = -1; }, filterBadParameters, filterBadParameters, {}, false},
    {"planes -32767", [](HostOptions* o) { o->planesOverride = -32767; }, filterBadParameters, filterBadParameters, {}, false},
    {"planes 32767", [](HostOptions* o) { o->planesOverride = 32767; }, noErr, noErr, {}},
    {"planes 5", [](HostOptions* o) { o->planesOverride = 5; }, noErr, noErr, Alpha()},
    {"planes 8", [](HostOptions* o) { o->planesOverride = 8; }, noErr, noErr, Alpha(16)},
    {"planes 9", [](HostOptions* o) { o->planesOverride = 9; }, noErr, noErr, Alpha()},
    {"planes 9 over gray", [](HostOptions* o) { o->planesOverride = 9; }, noErr, noErr, Gray16()},
    {"transparency not counted", [](HostOptions* o) { o->alphaReport = AlphaReport::AfterPlanes; }, noErr, noErr, Alpha(16)},
    {"unknown image mode 99", [](HostOptions* o) { o->imageModeOverride = 99; }, filterBadMode, filterBadMode, {}, false},
    {"CMYK mode", [](HostOptions* o) { o->imageModeOverride = 4; }, filterBadMode, filterBadMode, {}, false},
    {"bitmap mode", [](HostOptions* o) { o->imageModeOverride = 0; }, filterBadMode, filterBadMode, {}, false},
    {"16-bit mode over 8-bit buffers", [](HostOptions* o) { o->imageModeOverride = plugInModeRGB48; }, filterBadParameters, filterBadParameters, {}, false},
    // Rectangles.
    {"filter rect partly above the image", [](HostOptions* o) { ForceFilterRect(o, -5, -5, 10, 10); }, noErr, filterBadParameters, {}},
    {"filter rect above the image, no padding", [](HostOptions* o) { ForceFilterRect(o, -5, -5, 10, 10); o->supportsPadding = false; }, filterBadParameters, filterBadParameters, {}, false},
    {"filter rect inverted", [](HostOptions* o) { ForceFilterRect(o, 20, 30, 5, 10); }, filterBadParameters, noErr, {}, false},
    {"filter rect 32767", [](HostOptions* o) { ForceFilterRect(o, 0, 0, 32767, 32767); }, memFullErr, filterBadParameters, {}, false},
    {"filter rect -32768..32767", [](HostOptions* o) { ForceFilterRect(o, -32768, -32768, 32767, 32767); }, filterBadParameters, filterBadParameters, {}, false},
    {"filter rect 65535 wide", [](HostOptions* o) { ForceFilterRect(o, 0, -32768, 1, 32767); }, filterBadParameters, filterBadParameters, {}, false},
    {"filter rect 65535 tall", [](HostOptions* o) { ForceFilterRect(o, -32768, 0, 32767, 1); }, filterBadParameters, filterBadParameters, {}, false},
    {"filter rect empty", [](HostOptions* o) { ForceFilterRect(o, 7, 9, 7, 30); }, noErr, noErr, {}, false},
    {"image size 32767", [](HostOptions* o) { ForceImageSize(o, 32767, 32767); }, noErr, memFullErr, {}},
    {"image size negative", [](HostOptions* o) { ForceImageSize(o, -30, -40); }, noErr, filterBadParameters, {}},
    {"image size 0", [](HostOptions* o) { ForceImageSize(o, 0, 0); }, noErr, noErr, {}, false},
    // Failing requests.
    {"advanceState always failing", [](HostOptions* o) { o->failAdvanceAt = 1; o->failAdvanceCount = 1000; }, memFullErr, memFullErr, {}, false},
    {"advanceState failing with a positive code", [](HostOptions* o) { o->failAdvanceAt = 1; o->failAdvanceCount = 1000; o->advanceFailure = 7; }, 7, 7, {}, false},
    {"every request answered noErr, nothing delivered", [](HostOptions* o) { o->deliversNothing = true; }, filterBadParameters, filterBadParameters, {}, false},
    {"user abort at the first poll", [](HostOptions* o) { o->abortAtPoll = 1; }, userCanceledErr, userCanceledErr, {}, false},
    // Memory handed back in copies.
    {"data word copied before every call", [](HostOptions* o) { o->copyDataWord = true; }, noErr, noErr, {}},
    {"parameters copied for every run", [](HostOptions* o) { o->copyParameters = true; }, noErr, noErr, {}},
    {"both copied, no handle suite", [](HostOptions* o) { o->copyDataWord = o->copyParameters = true; o->handles.absent = true; }, noErr, noErr, {}},
    // Memory an earlier process left: addresses not mapped here, or naming something else.
    {"data word and parameters unmapped", [](HostOptions* o) { o->stale = StaleKept::Unmapped; }, noErr, noErr, {}},
    {"parameters recreated around an unmapped address", [](HostOptions* o) { o->stale = StaleKept::Recreated; }, noErr, noErr, {}},
    {"data word and parameters naming other memory", [](HostOptions* o) { o->stale = StaleKept::Elsewhere; }, noErr, noErr, {}},
    {"stale memory, no handle suite", [](HostOptions* o) { o->stale = StaleKept::Elsewhere; o->handles.absent = true; }, noErr, noErr, {}},
};

DialogScript dragScript;

void CALLBACK DragThenOk(HWND dialog, UINT, UINT_PTR timer, DWORD) {
  KillTimer(dialog, timer);
  DragPreview(dialog, 6, 3);
  // The release's refresh is queued ahead of OK.
  PostMessageA(dialog, WM_COMMAND, IDOK, 0);
}

void ShowAndDrag(HWND dialog) {
  if (GetDlgItem(dialog, kPreviewControl) == nullptr) {  // a message box: accept it
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    return;
  }
  ShowPreview(dialog);
  SetTimer(dialog, 91, 60, DragThenOk);
}

class HostileHost : public PluginFixture {
 protected:
  void OpenFor(const HostileCase& c, Path path) {
    HostOptions options;
    c.damage(&options);
    if (path == Path::PreviewDrag) {
      dragScript = ShowAndDrag;
      DriveDialogs(&options, &dragScript);
    }
    Open(options);
  }

  HostRunReport RunOn(const Document& document, bool showDialog) {
    EXPECT_TRUE(MakeImage(&image, document.width, document.height, document.colorPlanes, document.alpha,
                          document.depth));
    FillGradient(&image);
    HostRunOptions run;
    run.showDialog = showDialog;
    run.filterRect = Rect{3, 4, 27, 36};
    run.maxContinueCalls = 50;
    return RunFilter(session, &image, run);
  }

  void ExpectCase(const HostileCase& c, Path path);
  void ExpectASoundRunAfterwards();
};

void HostileHost::ExpectCase(const HostileCase& c, Path path) {
  HostileHost* test = this;
  SCOPED_TRACE(std::string(c.name) + ", " + PathName(path));
  const HostImage before = [&] {
    HostImage copy;
    MakeImage(&copy, c.document.width, c.document.height, c.document.colorPlanes, c.document.alpha, c.document.depth);
    FillGradient(&copy);
    return copy;
  }();
  HostRunReport report = test->RunOn(c.document, path != Path::Plain);
  const OSErr expected = path == Path::Plain ? c.plain : c.dialog;
  EXPECT_EQ(report.result, expected) << ResultName(report.result);
  EXPECT_FALSE(report.continueCapped);
  EXPECT_EQ(test->session->log.rowPaddingDamaged, 0);
  EXPECT_EQ(test->session->log.extraPlanesChanged, 0);
  EXPECT_EQ(test->session->log.foreignHandleCalls, 0);
  EXPECT_EQ(test->session->log.staleMemoryChanged, 0);
  const bool changed = test->image.pixels != before.pixels;
  // A run that fails leaves the image alone. One that succeeds may also
  // leave it, or show what its preview plotted, when the record leaves
  // nothing to plot.
  if (report.result != noErr || c.changes) {
    EXPECT_EQ(changed, report.result == noErr);
  }
}

// What the plug-in keeps between runs (its record, its parameters) must
// still serve a host that behaves.
void HostileHost::ExpectASoundRunAfterwards() {
  HostileHost* test = this;
  HostOptions sound = test->session->options;
  const HostOptions defaults;
  const HandleSuiteOptions handles = sound.handles;
  sound = defaults;
  sound.handles = handles;
  sound.handles.refuseNewAfter = -1;
  sound.dialogHook = test->session->options.dialogHook;
  test->session->options = sound;
  HostRunReport report = test->RunOn(Document{}, false);
  EXPECT_EQ(report.result, noErr) << "the run after";
}

}  // namespace

TEST_F(HostileHost, EveryCaseWithoutTheDialog) {
  for (const HostileCase& c : kCases) {
    OpenFor(c, Path::Plain);
    if (HasFatalFailure()) return;
    ExpectCase(c, Path::Plain);
    ExpectASoundRunAfterwards();
    TearDown();
  }
}

TEST_F(HostileHost, EveryCaseWithTheDialog) {
  for (const HostileCase& c : kCases) {
    OpenFor(c, Path::Dialog);
    if (HasFatalFailure()) return;
    ExpectCase(c, Path::Dialog);
    ExpectASoundRunAfterwards();
    TearDown();
  }
}

TEST_F(HostileHost, EveryCaseWithThePreviewDragged) {
  for (const HostileCase& c : kCases) {
    OpenFor(c, Path::PreviewDrag);
    if (HasFatalFailure()) return;
    ExpectCase(c, Path::PreviewDrag);
    TearDown();
  }
}

// advanceState failing at each of its calls in turn. The dialog's preview
// asks once when it opens (twice with a transparency plane to copy) and
// Start asks once more; only Start's request carries the run.
TEST_F(HostileHost, AdvanceStateFailingAtEachCall) {
  struct Step {
    bool dialog;
    bool alpha;
    int32_t failing;
    OSErr expected;
  };
  const Step steps[] = {
      {false, false, 1, memFullErr},  // Start's request
      {true, false, 1, noErr},        // the preview's: it shows nothing, the run goes on
      {true, false, 2, memFullErr},   // Start's
      {true, true, 1, noErr},         // the transparency plane's
      {true, true, 2, noErr},         // the preview's whole image
      {true, true, 3, memFullErr},    // Start's
  };
  // A host may also answer noErr and deliver nothing; it then delivers
  // Start's request itself before Continue, and the run goes on.
  for (OSErr failure : {memFullErr, noErr}) {
    for (const Step& step : steps) {
      SCOPED_TRACE(testing::Message() << (step.dialog ? "dialog" : "plain") << (step.alpha ? " with transparency" : "")
                                      << ", call " << step.failing << " answering " << failure);
      const OSErr expected = failure == noErr ? OSErr{noErr} : step.expected;
      HostOptions options;
      options.failAdvanceAt = step.failing;
      options.advanceFailure = failure;
      // Counted after the colour planes, the transparency plane is copied with a request of its own.
      if (step.alpha) options.alphaReport = AlphaReport::AfterPlanes;
      Open(options);
      const Document document = step.alpha ? Alpha() : Document{};
      HostImage before;
      MakeImage(&before, document.width, document.height, document.colorPlanes, document.alpha, document.depth);
      FillGradient(&before);
      HostRunReport report = RunOn(document, step.dialog);
      EXPECT_EQ(report.result, expected) << ResultName(report.result);
      EXPECT_EQ(image.pixels != before.pixels, expected == noErr);
      ExpectASoundRunAfterwards();
      TearDown();
    }
  }
}

// Hosts call the selectors in orders of their own: Continue or Finish with
// no Start, Start twice, a run abandoned half-way, About in the middle,
// selectors no host should send. Every call answers a code the interface
// knows, no row guard or extra channel is touched, and a sound run follows.
TEST_F(HostileHost, SelectorsInAnyOrder) {
  Open();
  uint32_t seed = 0x9E3779B9u;
  auto next = [&seed](uint32_t range) { return NextTestRandom(&seed, range); };
  const int16_t selectors[] = {filterSelectorAbout,   filterSelectorParameters, filterSelectorPrepare,
                               filterSelectorStart,   filterSelectorContinue,   filterSelectorFinish,
                               6,                     -1,                       0x7FFF};
  const OSErr known[] = {noErr, userCanceledErr, filterBadParameters, memFullErr};
  int32_t answered[4] = {0, 0, 0, 0};  // one count per known code
  for (int sequence = 0; sequence < 150; ++sequence) {
    SCOPED_TRACE(testing::Message() << "sequence " << sequence);
    EXPECT_TRUE(MakeImage(&image, 20 + int32_t(next(30)), 10 + int32_t(next(30)), next(2) ? 3 : 1, next(3) == 0,
                          next(2) ? 16 : 8));
    FillGradient(&image);
    std::string error;
    ASSERT_TRUE(BeginRun(session, &image, Rect{}, &error)) << error;
    const int calls = 1 + int(next(8));
    for (int call = 0; call < calls; ++call) {
      const int16_t selector = selectors[next(sizeof selectors / sizeof selectors[0])];
      const int16_t result = CallPluginMain(session, selector);
      const OSErr* code = std::find(std::begin(known), std::end(known), result);
      EXPECT_NE(code, std::end(known)) << SelectorName(selector) << ": " << ResultName(result);
      if (code != std::end(known)) ++answered[code - known];
    }
    EndRun(session);
    EXPECT_EQ(session->log.rowPaddingDamaged, 0);
    EXPECT_EQ(session->log.extraPlanesChanged, 0);
    EXPECT_EQ(session->log.foreignHandleCalls, 0);
    ClearLog(session);
  }
  std::printf("selectors in any order: %d noErr, %d userCanceledErr, %d filterBadParameters, %d memFullErr\n",
              answered[0], answered[1], answered[2], answered[3]);
  ExpectASoundRunAfterwards();
}

TEST_F(HostileHost, AboutAnswersNoErrOverAGarbageResultWord) {
  HostOptions options;
  options.initialResult = 0x5A5A;
  Open(options);
  EXPECT_EQ(ShowAbout(session), noErr);
  EXPECT_EQ(session->data, 0);
}

TEST_F(HostileHost, ParametersOnEveryRunKeepTheValuesThroughCopies) {
  HostOptions options;
  options.copyDataWord = options.copyParameters = true;
  // The dialog asked for at Parameters is still asked for at Start: the
  // copied record serves (no scripting, which would ask for it again).
  options.descriptors.absent = true;
  int shown = 0;
  options.dialogContext = &shown;
  options.dialogHook = [](void* window, void* context) {
    ++*static_cast<int*>(context);
    AcceptDialog(window, nullptr);
  };
  Open(options);
  const FilterParameters spiral = {drawSpiral, 7};
  ASSERT_TRUE(SetParameters(session, &spiral, sizeof spiral));
  for (int run = 0; run < 4; ++run) {
    HostRunReport report = RunOn(Document{}, true);
    ASSERT_EQ(report.result, noErr) << run;
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(ReadParameters(session, &bytes));
    ASSERT_GE(bytes.size(), sizeof spiral);
    EXPECT_EQ(std::memcmp(bytes.data(), &spiral, sizeof spiral), 0) << run;
  }
  EXPECT_EQ(shown, 4);
}

// A bridge that runs every filter call in a new process hands in the data
// word and the parameters handle the earlier process left. None of it is
// followed: each run plots with the values last confirmed in this process
// and leaves the memory those addresses name here as it was.
TEST_F(HostileHost, WhatAnEarlierProcessLeftIsNeverFollowed) {
  Open();
  const FilterParameters confirmed = {drawSpiral, 41};
  ASSERT_TRUE(SetParameters(session, &confirmed, sizeof confirmed));
  ASSERT_EQ(RunOn(Document{}, false).result, noErr);
  const std::vector<uint8_t> expected = image.pixels;
  for (StaleKept stale : {StaleKept::Unmapped, StaleKept::Recreated, StaleKept::Elsewhere}) {
    for (bool dialog : {false, true}) {
      SCOPED_TRACE(testing::Message() << "stale kind " << static_cast<int>(stale) << (dialog ? ", dialog" : ", plain"));
      session->options.stale = stale;
      HostRunReport report = RunOn(Document{}, dialog);
      EXPECT_EQ(report.result, noErr) << ResultName(report.result);
      EXPECT_EQ(image.pixels, expected);
      EXPECT_EQ(session->log.staleMemoryChanged, 0);
    }
  }
}

namespace {

// A played-back action under damaged descriptor suites. `reads`: the suites
// still serve reading, so the action's values are used; otherwise the stored
// ones are.
struct DescriptorDamage {
  std::string name;
  void (*damage)(DescriptorSuiteOptions* options);
  bool reads;
  int nullReadProc = -1;
  int nullWriteProc = -1;
};

std::vector<DescriptorDamage> DescriptorDamages() {
  std::vector<DescriptorDamage> damages = {
      {"no descriptor parameters", [](DescriptorSuiteOptions* d) { d->absent = true; }, false},
      {"descriptor parameters version 1", [](DescriptorSuiteOptions* d) { d->version = 1; }, false},
      {"no read table", [](DescriptorSuiteOptions* d) { d->noReadProcs = true; }, false},
      {"no write table", [](DescriptorSuiteOptions* d) { d->noWriteProcs = true; }, false},
      {"read table version 1", [](DescriptorSuiteOptions* d) { d->readVersion = 1; }, false},
      {"write table version -1", [](DescriptorSuiteOptions* d) { d->writeVersion = -1; }, false},
      {"17 read procs", [](DescriptorSuiteOptions* d) { d->readCount = 17; }, false},
      {"15 write procs", [](DescriptorSuiteOptions* d) { d->writeCount = 15; }, false},
      {"read count 0x8000", [](DescriptorSuiteOptions* d) { d->readCount = int16_t(0x8000); }, true},
      {"garbage after the block and both tables", [](DescriptorSuiteOptions* d) { d->garbageAfter = true; }, true},
  };
  for (int slot = 0; slot < 18; ++slot)
    damages.push_back({"null read proc " + std::to_string(slot), nullptr, false, slot});
  // The write procs the plug-in calls; the others it never needs.
  for (int slot = 0; slot < 3; ++slot)
    damages.push_back({"null write proc " + std::to_string(slot), nullptr, true, -1, slot});
  return damages;
}

DescriptorItem PlayedItem(DescriptorKeyID key, DescriptorTypeID type, int32_t value) {
  DescriptorItem item;
  item.key = key;
  item.type = type;
  item.integer = value;
  item.number = value;
  return item;
}

constexpr DescriptorKeyID kKeyDraw = 0x64726177, kKeyShft = 0x73686674;
const FilterParameters kStoredValues = {drawSpiral, 5};
const HostDescriptor kAction = {PlayedItem(kKeyDraw, kTypeInteger, drawNormal), PlayedItem(kKeyShft, kTypeInteger, 41)};

class HostileScripting : public HostileHost {
 protected:
  // A run on a fresh session: the stored values, then `action` played back.
  // From the menu the user sees the dialog (playInfo 1) and accepts it.
  HostRunReport PlayOn(const HostOptions& options, const HostDescriptor& action, bool fromMenu) {
    TearDown();
    Open(options);
    EXPECT_TRUE(SetParameters(session, &kStoredValues, sizeof kStoredValues));
    PlayBack(session, action, fromMenu ? 1 : 2);  // display, silent
    return RunOn(Document{}, fromMenu);
  }

  // What a sound host's run with `values` leaves.
  std::vector<uint8_t> NormalImage(FilterParameters values) {
    TearDown();
    Open(HostOptions{});
    EXPECT_TRUE(SetParameters(session, &values, sizeof values));
    EXPECT_EQ(RunOn(Document{}, false).result, noErr);
    return image.pixels;
  }
};

}  // namespace

TEST_F(HostileScripting, DamagedSuitesUnderPlaybackGiveANormalRun) {
  const std::vector<uint8_t> played = NormalImage({drawNormal, 41});
  const std::vector<uint8_t> stored = NormalImage(kStoredValues);
  ASSERT_NE(played, stored);
  for (const DescriptorDamage& d : DescriptorDamages()) {
    for (bool fromMenu : {false, true}) {
      SCOPED_TRACE(d.name + (fromMenu ? ", from the menu" : ", silent"));
      HostOptions options;
      if (d.damage != nullptr) d.damage(&options.descriptors);
      options.descriptors.nullReadProc = d.nullReadProc;
      options.descriptors.nullWriteProc = d.nullWriteProc;
      HostRunReport report = PlayOn(options, kAction, fromMenu);
      if (HasFatalFailure()) return;
      EXPECT_EQ(report.result, noErr) << ResultName(report.result);
      EXPECT_EQ(image.pixels == played, d.reads);
      EXPECT_EQ(image.pixels == stored, !d.reads);
      EXPECT_EQ(session->log.foreignDescriptorCalls, 0);
      EXPECT_EQ(session->log.unexpectedDescriptorCalls, 0);
      EXPECT_EQ(session->log.foreignHandleCalls, 0);
      ExpectASoundRunAfterwards();
    }
  }
}

// Keys the host holds as other types are refused by its getter; the stored
// values stay, the refusal does not end the run.
TEST_F(HostileScripting, KeysOfTheWrongTypeLeaveTheStoredValues) {
  const std::vector<uint8_t> stored = NormalImage(kStoredValues);
  const std::vector<uint8_t> shifted = NormalImage({drawSpiral, 41});
  const DescriptorTypeID kTypeText = 0x54455854;  // 'TEXT', a type our store does not serve
  const struct {
    const char* name;
    HostDescriptor action;
    const std::vector<uint8_t>* expected;
  } cases[] = {
      {"draw as a float", {PlayedItem(kKeyDraw, kTypeFloat, drawNormal)}, &stored},
      {"draw as a boolean", {PlayedItem(kKeyDraw, kTypeBoolean, 0)}, &stored},
      {"shft as text", {PlayedItem(kKeyShft, kTypeText, 41)}, &stored},
      {"both wrong", {PlayedItem(kKeyDraw, kTypeBoolean, 0), PlayedItem(kKeyShft, kTypeFloat, 41)}, &stored},
      {"draw wrong, shft right", {PlayedItem(kKeyDraw, kTypeFloat, 0), PlayedItem(kKeyShft, kTypeInteger, 41)}, &shifted},
  };
  for (const auto& c : cases) {
    for (bool fromMenu : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (fromMenu ? ", from the menu" : ", silent"));
      HostRunReport report = PlayOn(HostOptions{}, c.action, fromMenu);
      if (HasFatalFailure()) return;
      EXPECT_EQ(report.result, noErr) << ResultName(report.result);
      EXPECT_EQ(image.pixels, *c.expected);
      EXPECT_EQ(session->log.unexpectedDescriptorCalls, 0);
      EXPECT_EQ(session->log.descriptorsLeftToHost, 0);
    }
  }
}

// A descriptor handle the host's own suites never made: refused at the open,
// so nothing is read; the plug-in's run is an ordinary one.
TEST_F(HostileScripting, AGarbageDescriptorHandleIsNeverFollowed) {
  const std::vector<uint8_t> stored = NormalImage(kStoredValues);
  for (bool fromMenu : {false, true}) {
    SCOPED_TRACE(fromMenu ? "from the menu" : "silent");
    HostOptions options;
    options.descriptors.foreignDescriptor = true;
    HostRunReport report = PlayOn(options, kAction, fromMenu);
    if (HasFatalFailure()) return;
    EXPECT_EQ(report.result, noErr) << ResultName(report.result);
    EXPECT_EQ(image.pixels, stored);
    EXPECT_EQ(session->log.foreignDescriptorCalls, 1);  // the open, answered with no reader
    // Replaced when the run is recorded, through the host's own dispose, which refuses it.
    EXPECT_EQ(session->log.foreignHandleCalls, 1);
    EXPECT_EQ(session->log.unexpectedDescriptorCalls, 0);
    ExpectASoundRunAfterwards();
  }
}

// Hosts that unload a filter after each use still hand back the data word
// and the parameters handle they kept. Reloaded at another address, the
// plug-in must find nothing in its kept blocks that points into the old
// module, and run with the kept values.
TEST_F(HostileHost, ReloadedAtAnotherAddressWithTheKeptBlocks) {
  const std::string copy = ScratchPath(".8bf");
  ASSERT_TRUE(CopyFileA(PluginPath().c_str(), copy.c_str(), FALSE));
  HostPlugin own;
  std::string error;
  ASSERT_TRUE(LoadPlugin(copy.c_str(), &own, &error)) << error;
  HostOptions options;
  options.dialogHook = AcceptDialog;
  session = OpenSession(own.entry, options, &error);
  ASSERT_NE(session, nullptr) << error;
  const FilterParameters spiral = {drawSpiral, 41};
  ASSERT_TRUE(SetParameters(session, &spiral, sizeof spiral));
  ASSERT_EQ(RunOn(Document{}, true).result, noErr);
  const std::vector<uint8_t> first = image.pixels;
  const intptr_t keptData = session->data;
  ASSERT_NE(keptData, 0);

  // Unloaded, its address range taken, and loaded again elsewhere.
  void* const oldBase = own.module;
  MEMORY_BASIC_INFORMATION region;
  ASSERT_EQ(VirtualQuery(oldBase, &region, sizeof region), sizeof region);
  UnloadPlugin(&own);
  ASSERT_EQ(GetModuleHandleA(copy.c_str()), nullptr) << "still loaded";
  void* blocker = VirtualAlloc(oldBase, 0x10000, MEM_RESERVE, PAGE_NOACCESS);
  ASSERT_TRUE(LoadPlugin(copy.c_str(), &own, &error)) << error;
  std::printf("plug-in loaded at %p, then at %p\n", oldBase, own.module);
  if (blocker != nullptr) {
    EXPECT_NE(own.module, oldBase);
  }
  session->entry = own.entry;

  for (bool dialog : {false, true}) {
    SCOPED_TRACE(dialog ? "with the dialog" : "without it");
    EXPECT_EQ(RunOn(Document{}, dialog).result, noErr);
    EXPECT_EQ(session->data, keptData);
    EXPECT_EQ(image.pixels, first);
  }
  EXPECT_EQ(ShowAbout(session), noErr);
  TearDown();
  UnloadPlugin(&own);
  if (blocker != nullptr) VirtualFree(blocker, 0, MEM_RELEASE);
  DeleteFileA(copy.c_str());
}

namespace {

DWORD WINAPI RunBody(void* body) {
  (*static_cast<std::function<void()>*>(body))();
  return 0;
}

struct SeenDialog {
  DWORD thread = 0;
  HWND owner = nullptr;
};

void NoteAndAccept(void* window, void* context) {
  auto* seen = static_cast<SeenDialog*>(context);
  seen->thread = GetWindowThreadProcessId(static_cast<HWND>(window), nullptr);
  seen->owner = GetWindow(static_cast<HWND>(window), GW_OWNER);
  AcceptDialog(window, nullptr);
}

}  // namespace

// Some hosts run filters on a worker thread while their window stays with
// the main one: the dialog is then owned across threads and runs its own loop.
TEST_F(HostileHost, RunOnAWorkerThreadOwnedByTheMainWindow) {
  SeenDialog seen;
  HostOptions options;
  options.dialogHook = NoteAndAccept;
  options.dialogContext = &seen;
  Open(options);
  const FilterParameters spiral = {drawSpiral, 9};
  ASSERT_TRUE(SetParameters(session, &spiral, sizeof spiral));
  ASSERT_EQ(RunOn(Document{}, false).result, noErr);
  const std::vector<uint8_t> expected = image.pixels;
  for (bool dialog : {false, true}) {
    SCOPED_TRACE(dialog ? "with the dialog" : "without it");
    HostRunReport report;
    std::function<void()> run = [&] { report = RunOn(Document{}, dialog); };
    DWORD workerId = 0;
    HANDLE worker = CreateThread(nullptr, 0, RunBody, &run, 0, &workerId);
    ASSERT_NE(worker, nullptr);
    // The main thread keeps its window alive meanwhile.
    while (MsgWaitForMultipleObjects(1, &worker, FALSE, 10000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
      MSG message;
      while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    }
    EXPECT_EQ(WaitForSingleObject(worker, 0), WAIT_OBJECT_0) << "the run did not end";
    CloseHandle(worker);
    EXPECT_EQ(report.result, noErr) << ResultName(report.result);
    EXPECT_EQ(image.pixels, expected);
    if (dialog) {
      // Shown by the worker, owned by the main thread's window.
      EXPECT_EQ(seen.thread, workerId);
      ASSERT_NE(seen.owner, nullptr);
      EXPECT_EQ(GetWindowThreadProcessId(seen.owner, nullptr), GetCurrentThreadId());
    }
  }
}
