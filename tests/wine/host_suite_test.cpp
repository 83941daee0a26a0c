// Our host's filter record, handle suite and reporting callbacks, as a
// stand-in plug-in sees them.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <vector>

#include "tests/wine/host_fake_plugin.h"

namespace {

class HostSuite : public HostFixture {};

bool FollowedByNoAccessPage(const void* end) {
  MEMORY_BASIC_INFORMATION info;
  if (VirtualQuery(end, &info, sizeof info) == 0) return false;
  return info.Protect == PAGE_NOACCESS;
}

}  // namespace

TEST_F(HostSuite, FillsTheRecordAsAHostDoes) {
  HostOptions options;
  options.foreground = {65535, 0, 0};
  options.serialNumber = 42;
  Open(options);
  Make(30, 20, 3, false, 8);
  Begin(Rect{1, 2, 11, 22});
  DuringStart([&](FilterRecord* record) {
    EXPECT_EQ(record->imageSize.v, 20);
    EXPECT_EQ(record->imageSize.h, 30);
    EXPECT_EQ(record->wholeSize.h, 30);
    EXPECT_EQ(record->planes, 3);
    EXPECT_EQ(record->filterRect.right, 22);
    EXPECT_EQ(record->imageMode, plugInModeRGBColor);
    EXPECT_EQ(record->serialNumber, 42);
    EXPECT_EQ(record->hostSig, 0x3842494Du);
    EXPECT_EQ(record->foreground.red, 65535);
    EXPECT_EQ(record->foreColor[0], 255);
    EXPECT_EQ(record->background.blue, 65535);
    EXPECT_EQ(record->supportsPadding, 1);
    EXPECT_EQ(record->inputPadding, -3);
    EXPECT_EQ(record->inputRate, 1 << 16);
    EXPECT_GT(record->maxSpace, 0);
    EXPECT_NE(record->errorString, nullptr);
    ASSERT_NE(record->platformData, nullptr);
    EXPECT_TRUE(IsWindow(reinterpret_cast<HWND>(static_cast<PlatformData*>(record->platformData)->hwnd)));
    ASSERT_NE(record->handleProcs, nullptr);
    EXPECT_EQ(record->handleProcs->handleProcsVersion, 1);
    EXPECT_EQ(record->handleProcs->numHandleProcs, 8);
  });
}

TEST_F(HostSuite, RecordEndsAtAnInaccessiblePageInBothLayouts) {
  for (bool shortRecord : {false, true}) {
    HostOptions options;
    options.shortRecord = shortRecord;
    Open(options);
    Make(4, 4, 1, false, 8);
    Begin();
    const size_t size = shortRecord ? kShortFilterRecordSize : sizeof(FilterRecord);
    EXPECT_TRUE(FollowedByNoAccessPage(reinterpret_cast<const char*>(session->record) + size)) << size;
    EXPECT_FALSE(FollowedByNoAccessPage(reinterpret_cast<const char*>(session->record) + size - 1));
    CloseSession(session);
    session = nullptr;
  }
}

TEST_F(HostSuite, OffersOnlyTheCallbacksAsked) {
  HostOptions options;
  options.noAdvanceState = options.noAbortProc = options.noProgressProc = options.noDisplayPixels = true;
  options.handles.absent = true;
  options.noPlatformData = true;
  Open(options);
  Make(4, 4, 1, false, 8);
  Begin();
  DuringStart([](FilterRecord* record) {
    EXPECT_EQ(record->advanceState, nullptr);
    EXPECT_EQ(record->abortProc, nullptr);
    EXPECT_EQ(record->progressProc, nullptr);
    EXPECT_EQ(record->displayPixels, nullptr);
    EXPECT_EQ(record->handleProcs, nullptr);
    EXPECT_EQ(record->platformData, nullptr);
  });
}

TEST_F(HostSuite, HandleSuiteTracksItsHandles) {
  Open();
  Make(4, 4, 1, false, 8);
  Begin();
  DuringStart([&](FilterRecord* record) {
    const HandleProcs* procs = record->handleProcs;
    Handle handle = procs->newProc(10);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(LiveHandleCount(session), 1);
    Ptr data = procs->lockProc(handle, 1);
    EXPECT_EQ(data, *handle);  // the first word addresses the data
    std::memcpy(data, "vardelkist", 10);
    procs->unlockProc(handle);
    EXPECT_EQ(procs->getSizeProc(handle), 10);
    EXPECT_EQ(procs->setSizeProc(handle, 20), noErr);
    EXPECT_EQ(procs->getSizeProc(handle), 20);
    EXPECT_EQ(std::memcmp(*handle, "vardelkist", 10), 0);
    procs->disposeProc(handle);
    EXPECT_EQ(LiveHandleCount(session), 0);
  });
  EXPECT_EQ(session->log.foreignHandleCalls, 0);
}

TEST_F(HostSuite, ForeignHandlesAreCountedNeverTouched) {
  Open();
  Make(4, 4, 1, false, 8);
  Begin();
  DuringStart([](FilterRecord* record) {
    char* notOurs[1] = {nullptr};
    Handle foreign = notOurs;
    const HandleProcs* procs = record->handleProcs;
    procs->disposeProc(foreign);
    EXPECT_EQ(procs->getSizeProc(foreign), 0);
    EXPECT_EQ(procs->lockProc(foreign, 0), nullptr);
    EXPECT_NE(procs->setSizeProc(foreign, 4), noErr);
  });
  EXPECT_EQ(session->log.foreignHandleCalls, 4);
}

TEST_F(HostSuite, ImitatesStingyAndDamagedSuites) {
  HostOptions options;
  options.handles.refuseNewAfter = 2;
  options.handles.version = 2;
  options.handles.count = 5;
  options.handles.nullProc = 3;
  options.handles.disposeDoesNothing = true;
  options.handles.dirtyMemory = true;
  Open(options);
  Make(4, 4, 1, false, 8);
  Begin();
  DuringStart([&](FilterRecord* record) {
    const HandleProcs* procs = record->handleProcs;
    EXPECT_EQ(procs->handleProcsVersion, 2);
    EXPECT_EQ(procs->numHandleProcs, 5);
    EXPECT_EQ(procs->setSizeProc, nullptr);
    Handle first = procs->newProc(3);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(static_cast<uint8_t>((*first)[2]), 0xCD);
    EXPECT_NE(procs->newProc(3), nullptr);
    EXPECT_EQ(procs->newProc(3), nullptr);
    procs->disposeProc(first);
    EXPECT_EQ(LiveHandleCount(session), 2);
  });
}

TEST_F(HostSuite, AbortsFromTheNthPollAndLogsProgress) {
  HostOptions options;
  options.abortAtPoll = 3;
  int hooked = 0;
  options.progressHook = [](int32_t, int32_t, void* context) { ++*static_cast<int*>(context); };
  options.progressContext = &hooked;
  Open(options);
  Make(4, 4, 1, false, 8);
  Begin();
  DuringStart([](FilterRecord* record) {
    EXPECT_EQ(record->abortProc(), 0);
    EXPECT_EQ(record->abortProc(), 0);
    EXPECT_EQ(record->abortProc(), 1);
    EXPECT_EQ(record->abortProc(), 1);
    record->progressProc(5, 10);
    record->progressProc(10, 10);
  });
  EXPECT_EQ(session->log.abortPolls, 4);
  ASSERT_EQ(session->log.progress.size(), 2u);
  EXPECT_EQ(session->log.progress[0].done, 5);
  EXPECT_EQ(session->log.progress[1].total, 10);
  EXPECT_EQ(hooked, 2);
}

TEST_F(HostSuite, AnAbortRequestReachesTheNextPoll) {
  Open();
  Make(4, 4, 1, false, 8);
  Begin();
  DuringStart([&](FilterRecord* record) {
    EXPECT_EQ(record->abortProc(), 0);
    RequestAbort(session);
    EXPECT_EQ(record->abortProc(), 1);
  });
}

TEST_F(HostSuite, KeepsTheDataWordAndParametersFromRunToRun) {
  Open();
  Make(4, 4, 1, false, 8);
  const uint8_t saved[4] = {1, 0, 41, 0};
  ASSERT_TRUE(SetParameters(session, saved, 4));
  std::vector<Handle> seen;
  FakeBehaviour() = [&](const FakeCall& call) {
    FilterRecord* record = call.filter();
    seen.push_back(record->parameters);
    if (*call.data == 0) *call.data = 1234;
    if (call.selector == filterSelectorFinish) (*record->parameters)[2] = 42;
  };
  RunFilter(session, &image, HostRunOptions{});
  RunFilter(session, &image, HostRunOptions{});
  EXPECT_EQ(session->data, 1234);
  for (Handle handle : seen) EXPECT_EQ(handle, session->parameters);
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(ReadParameters(session, &bytes));
  EXPECT_EQ(bytes, (std::vector<uint8_t>{1, 0, 42, 0}));
}

TEST_F(HostSuite, AboutGetsTheWindowAndTheResultIsWhatThePlugInLeft) {
  HostOptions options;
  options.initialResult = 12345;
  Open(options);
  HWND window = nullptr;
  FakeBehaviour() = [&](const FakeCall& call) {
    auto* about = static_cast<AboutRecord*>(call.record);
    window = reinterpret_cast<HWND>(static_cast<PlatformData*>(about->platformData)->hwnd);
  };
  EXPECT_EQ(ShowAbout(session), 12345);  // never written by this plug-in
  EXPECT_TRUE(IsWindow(window));
}

TEST_F(HostSuite, FilterSelectorsOutsideARunAreRefused) {
  Open();
  int calls = 0;
  FakeBehaviour() = [&](const FakeCall&) { ++calls; };
  EXPECT_EQ(CallPluginMain(session, filterSelectorStart), filterBadParameters);
  EXPECT_EQ(calls, 0);
  Make(4, 4, 1, false, 8);
  std::string error;
  EXPECT_FALSE(BeginRun(session, &image, Rect{0, 0, 5, 4}, &error));
  EXPECT_NE(error, "");
}

namespace {

struct alignas(4) EmptyDialogTemplate {
  DLGTEMPLATE header;
  WORD menu, windowClass, title;
};

INT_PTR CALLBACK EndOnOk(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) return TRUE;
  if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
    EndDialog(dialog, 7);
    return TRUE;
  }
  return FALSE;
}

// A modal dialog of the plug-in's own, owned by the host's window, as in About.
int16_t RunModalDialog(const FakeCall& call) {
  static const EmptyDialogTemplate dialog = {
      {WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_MODALFRAME, 0, 0, 0, 0, 80, 40}, 0, 0, 0};
  auto* about = static_cast<AboutRecord*>(call.record);
  HWND owner = reinterpret_cast<HWND>(static_cast<PlatformData*>(about->platformData)->hwnd);
  return static_cast<int16_t>(DialogBoxIndirectParamA(GetModuleHandleA(nullptr), &dialog.header, owner, EndOnOk, 0));
}

// Another program's dialog on the same desktop, stood in for by a dialog of
// another thread: it counts the OKs it is sent.
struct ForeignDialog {
  HWND window = nullptr;
  HANDLE ready = nullptr;     // the dialog exists
  HANDLE drained = nullptr;   // every message posted before WM_APP was handled
  LONG oks = 0;
};
ForeignDialog* foreign = nullptr;

INT_PTR CALLBACK CountOks(HWND, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_COMMAND && LOWORD(wParam) == IDOK) InterlockedIncrement(&foreign->oks);
  if (message == WM_APP) SetEvent(foreign->drained);
  return message == WM_INITDIALOG || message == WM_COMMAND || message == WM_APP;
}

DWORD WINAPI RunForeignDialog(void*) {
  static const EmptyDialogTemplate dialog = {{WS_POPUP | WS_VISIBLE | WS_CAPTION, 0, 0, 100, 0, 80, 40}, 0, 0, 0};
  foreign->window = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), &dialog.header, nullptr, CountOks, 0);
  SetEvent(foreign->ready);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (!IsDialogMessageA(foreign->window, &message)) DispatchMessageA(&message);
  }
  DestroyWindow(foreign->window);
  return 0;
}

struct Activations {
  std::vector<HWND> windows;
};

void NoteAndPressOk(void* window, void* context) {
  static_cast<Activations*>(context)->windows.push_back(static_cast<HWND>(window));
  PostMessageA(static_cast<HWND>(window), WM_COMMAND, IDOK, 0);
}

}  // namespace

// A modal dialog inside PluginMain is reached through the dialog hook.
TEST_F(HostSuite, DialogHookDrivesAModalDialogOfThePlugIn) {
  Activations seen;
  HostOptions options;
  options.dialogHook = NoteAndPressOk;
  options.dialogContext = &seen;
  Open(options);
  FakeBehaviour() = [](const FakeCall& call) { *call.result = RunModalDialog(call); };
  EXPECT_EQ(ShowAbout(session), 7);
  EXPECT_FALSE(seen.windows.empty());
}

// Wine runs a thread's activation hook even when the thread only tries to
// activate a window of another program (as a host does after closing one of
// its own dialogs). The host must leave such a window alone: another test
// program's dialog was pressed OK that way.
TEST_F(HostSuite, DialogHookAnswersOnlyThisThreadsDialogs) {
  ForeignDialog other;
  foreign = &other;
  other.ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  other.drained = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD threadId = 0;
  HANDLE thread = CreateThread(nullptr, 0, RunForeignDialog, nullptr, 0, &threadId);
  ASSERT_NE(thread, nullptr);
  ASSERT_EQ(WaitForSingleObject(other.ready, 10000), WAIT_OBJECT_0);
  ASSERT_NE(other.window, nullptr);

  Activations seen;
  HostOptions options;
  options.dialogHook = NoteAndPressOk;
  options.dialogContext = &seen;
  Open(options);
  FakeBehaviour() = [](const FakeCall& call) {
    SetActiveWindow(foreign->window);
    *call.result = RunModalDialog(call);
  };
  EXPECT_EQ(ShowAbout(session), 7);  // our own dialog was still answered

  PostMessageA(other.window, WM_APP, 0, 0);
  EXPECT_EQ(WaitForSingleObject(other.drained, 10000), WAIT_OBJECT_0);
  EXPECT_EQ(other.oks, 0);
  for (HWND window : seen.windows) EXPECT_NE(window, other.window);
  EXPECT_FALSE(seen.windows.empty());

  PostThreadMessageA(threadId, WM_QUIT, 0, 0);
  WaitForSingleObject(thread, 10000);
  CloseHandle(thread);
  CloseHandle(other.ready);
  CloseHandle(other.drained);
  foreign = nullptr;
}
