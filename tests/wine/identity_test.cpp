// The plug-in recognises its host by the executable's file name. This program
// runs once under each name (the build copies it to Photoshp.exe,
// Fireworks.exe, ...); each test checks what its current name calls for.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstring>

#include "tests/wine/plugin_fixture.h"

namespace {

bool RunningAs(const char* name) { return ExecutableName() == name; }

bool IsFallbackHandle(intptr_t word) {
  if (word == 0) return false;
  return std::memcmp(reinterpret_cast<const char*>(word) + sizeof(void*), "OTOF", 4) == 0;
}

class Identity : public PluginFixture {};

DWORD WINAPI Nothing(void*) { return 0; }

// Starts and ends threads until told to stop: each start and end calls the
// plug-in's module entry on that thread.
DWORD WINAPI ComeAndGo(void* stop) {
  while (!static_cast<std::atomic<bool>*>(stop)->load()) {
    HANDLE thread = CreateThread(nullptr, 0, Nothing, nullptr, 0, nullptr);
    if (thread == nullptr) continue;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
  }
  return 0;
}

}  // namespace

TEST_F(Identity, AboutMakesNoRecordInAnyHost) {
  Open();
  EXPECT_EQ(ShowAbout(session), noErr);
  EXPECT_EQ(session->data, 0);
  EXPECT_EQ(LiveHandleCount(session), 0);
}

TEST_F(Identity, OnlyPremiereGetsItsWholeSizeSet) {
  HostOptions options;
  options.wholeSizeZero = true;
  Open(options);
  Begin(70, 50, Rect{0, 0, 50, 70});
  for (int selector : {1, 2, 7}) {
    session->record->wholeSize = {0, 0};
    CallPluginMain(session, static_cast<int16_t>(selector));
    if (RunningAs("premiere.exe")) {
      EXPECT_EQ(session->record->wholeSize.v, 50);
      EXPECT_EQ(session->record->wholeSize.h, 70);
    } else {
      EXPECT_EQ(session->record->wholeSize.v, 0);
      EXPECT_EQ(session->record->wholeSize.h, 0);
    }
  }
}

TEST_F(Identity, OnlyFireworksKeepsTheRecordInAHandle) {
  Open();
  Begin(70, 50, Rect{0, 0, 50, 70});
  ASSERT_EQ(CallPluginMain(session, filterSelectorParameters), noErr);
  const intptr_t word = session->data;
  ASSERT_NE(word, 0);
  if (RunningAs("Fireworks.exe")) {
    EXPECT_EQ(LiveHandleCount(session), 1);  // made by the host's suite
  } else {
    EXPECT_EQ(LiveHandleCount(session), 0);
    EXPECT_FALSE(IsFallbackHandle(word));
  }
  // Reused by every later call and run, wherever it lives.
  EXPECT_EQ(CallPluginMain(session, filterSelectorStart), noErr);
  EXPECT_EQ(CallPluginMain(session, filterSelectorContinue), noErr);
  EXPECT_EQ(session->data, word);
  EXPECT_EQ(LiveHandleCount(session), RunningAs("Fireworks.exe") ? 1 : 0);
  EndRun(session);
  Begin(20, 20, Rect{0, 0, 20, 20});
  EXPECT_EQ(CallPluginMain(session, filterSelectorStart), noErr);
  EXPECT_EQ(session->data, word);
}

TEST_F(Identity, FireworksStaysFireworksWhileThreadsComeAndGo) {
  if (!RunningAs("Fireworks.exe")) GTEST_SKIP() << "Fireworks only";
  HostOptions options;
  options.forgetsParameters = true;  // a new record, so a new handle, every run
  Open(options);
  MakeImage(&image, 6, 5, 3, false, 8);
  std::atomic<bool> stop{false};
  HANDLE churn = CreateThread(nullptr, 0, ComeAndGo, &stop, 0, nullptr);
  ASSERT_NE(churn, nullptr);
  int32_t runs = 0;
  for (; runs < 3000 && !HasFailure(); ++runs) {
    HostRunReport report = RunFilter(session, &image, HostRunOptions{});
    EXPECT_EQ(report.result, noErr) << "run " << runs << ": " << report.error;
    // A record made as a block, or a handle taken for one, shows here.
    EXPECT_EQ(LiveHandleCount(session), runs + 1) << "run " << runs;
    EXPECT_EQ(session->log.foreignHandleCalls, 0) << "run " << runs;
  }
  stop = true;
  WaitForSingleObject(churn, INFINITE);
  CloseHandle(churn);
}

TEST_F(Identity, FireworksFallsBackToItsOwnHandleForAnUnusableSuite) {
  if (!RunningAs("Fireworks.exe")) GTEST_SKIP() << "Fireworks only";
  struct Damage {
    const char* what;
    HandleSuiteOptions suite;
    bool usable;
  };
  std::vector<Damage> cases;
  auto add = [&cases](const char* what, bool usable, void (*damage)(HandleSuiteOptions*)) {
    Damage d{what, HandleSuiteOptions{}, usable};
    damage(&d.suite);
    cases.push_back(d);
  };
  add("absent", false, [](HandleSuiteOptions* s) { s->absent = true; });
  add("version 2", false, [](HandleSuiteOptions* s) { s->version = 2; });
  add("version 0", false, [](HandleSuiteOptions* s) { s->version = 0; });
  add("count 6", false, [](HandleSuiteOptions* s) { s->count = 6; });
  add("count 7", true, [](HandleSuiteOptions* s) { s->count = 7; });
  add("count 0x8000", true, [](HandleSuiteOptions* s) { s->count = static_cast<int16_t>(0x8000); });
  add("null newProc", false, [](HandleSuiteOptions* s) { s->nullProc = 0; });
  add("null disposeProc", false, [](HandleSuiteOptions* s) { s->nullProc = 1; });
  add("null getSizeProc", false, [](HandleSuiteOptions* s) { s->nullProc = 2; });
  add("null setSizeProc", false, [](HandleSuiteOptions* s) { s->nullProc = 3; });
  add("null lockProc", false, [](HandleSuiteOptions* s) { s->nullProc = 4; });
  add("null unlockProc", false, [](HandleSuiteOptions* s) { s->nullProc = 5; });
  for (const Damage& d : cases) {
    SCOPED_TRACE(d.what);
    HostOptions options;
    options.handles = d.suite;
    Open(options);
    MakeImage(&image, 40, 30, 3, false, 8);
    HostRunOptions run;
    run.showDialog = true;
    HostRunReport report = RunFilter(session, &image, run);
    EXPECT_EQ(report.result, noErr) << report.error;
    EXPECT_EQ(IsFallbackHandle(session->data), !d.usable);
    EXPECT_EQ(LiveHandleCount(session), d.usable ? 1 : 0);
    EXPECT_EQ(session->log.foreignHandleCalls, 0);
    TearDown();
  }
}

TEST_F(Identity, FireworksRefusedMemoryLeavesTheDataWordAlone) {
  if (!RunningAs("Fireworks.exe")) GTEST_SKIP() << "Fireworks only";
  HostOptions options;
  options.handles.refuseNewAfter = 0;
  Open(options);
  Begin(40, 30, Rect{0, 0, 30, 40});
  for (int selector : {1, 2, 3}) {
    EXPECT_EQ(CallPluginMain(session, static_cast<int16_t>(selector)), memFullErr);
    EXPECT_EQ(session->data, 0);
  }
  EXPECT_TRUE(session->log.advances.empty());
}

TEST_F(Identity, OnlyFireworksGivesColoursOnAnEightBitScale) {
  HostOptions options;
  options.foreground = {255, 128, 0};
  options.background = {255, 128, 0};
  Open(options);
  MakeImage(&image, 4, 3, 3, false, 8);
  ASSERT_EQ(RunFilter(session, &image, HostRunOptions{}).result, noErr);
  const bool fireworks = RunningAs("Fireworks.exe");
  EXPECT_EQ(GetSample(image, 0, 0, 0), fireworks ? 255 : 1);
  EXPECT_EQ(GetSample(image, 0, 0, 1), fireworks ? 128 : 0);
  EXPECT_EQ(GetSample(image, 3, 2, 2), 0);
}

// What an earlier process left in the data word and the parameters handle is
// never followed, wherever the record lives (Fireworks: in a handle of the
// plug-in's own here), while the record this process made is found again on
// every call: the dialog asked for at Parameters shows at Start.
TEST_F(Identity, WhatAnEarlierProcessLeftIsNeverFollowed) {
  int shown = 0;
  HostOptions options;
  options.handles.absent = true;
  options.descriptors.absent = true;  // scripting would ask for the dialog again at Start
  options.dialogContext = &shown;
  options.dialogHook = [](void* window, void* context) {
    ++*static_cast<int*>(context);
    AcceptDialog(window, nullptr);
  };
  Open(options);
  for (StaleKept stale : {StaleKept::Unmapped, StaleKept::Recreated, StaleKept::Elsewhere}) {
    SCOPED_TRACE(static_cast<int>(stale));
    session->options.stale = stale;
    MakeImage(&image, 40, 30, 3, false, 8);
    HostRunOptions run;
    run.showDialog = true;
    HostRunReport report = RunFilter(session, &image, run);
    EXPECT_EQ(report.result, noErr) << report.error;
    EXPECT_EQ(session->log.staleMemoryChanged, 0);
  }
  EXPECT_EQ(shown, 3);
}
