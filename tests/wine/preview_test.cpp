// The dialog's preview, shown from outside the plug-in (its template keeps it
// hidden), dragged, recomputed and painted through our host's displayPixels,
// with the host dispatching window messages from inside its callbacks as
// editors do.
#include <gtest/gtest.h>
#include <windows.h>
#include <psapi.h>

#include <cstring>
#include <vector>

#include "host/globals.h"
#include "tests/wine/dialog_driver.h"
#include "tests/wine/plugin_fixture.h"

namespace {

constexpr UINT kRefresh = WM_APP + 101;
constexpr UINT_PTR kOkTimer = 77;

bool IsPrime(int64_t n) {
  for (int64_t d = 2; d * d <= n; ++d)
    if (n % d == 0) return false;
  return n >= 2;
}

void CALLBACK PressOkLater(HWND dialog, UINT, UINT_PTR timer, DWORD) {
  KillTimer(dialog, timer);
  PostMessageA(dialog, WM_COMMAND, IDOK, 0);
}

// Lets the dialog's queue drain and paint before OK.
void OkAfterAWhile(HWND dialog) { SetTimer(dialog, kOkTimer, 250, PressOkLater); }

// What a test does from inside abortProc while the preview recomputes.
struct DuringRecompute {
  bool armed = false;
  HWND dialog = nullptr;
  HWND owner = nullptr;
  std::vector<UINT> post;       // messages to post to the dialog (WM_COMMAND IDOK/IDCANCEL, WM_CLOSE)
  bool nestedDrag = false;      // a drag move on the preview inside the computation
  bool ownerEnabled = false;    // seen after the host dispatched: the dialog had ended under the computation
  int fired = 0;
};
DuringRecompute during;

void ActDuringRecompute(int32_t /*poll*/, void* /*context*/) {
  if (!during.armed) return;
  during.armed = false;
  ++during.fired;
  if (during.nestedDrag) {
    HWND control = GetDlgItem(during.dialog, kPreviewControl);
    SendMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(8, 8));
    SendMessageA(control, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(10, 9));
  }
  for (UINT message : during.post) {
    if (message == WM_CLOSE) PostMessageA(during.dialog, WM_CLOSE, 0, 0);
    else PostMessageA(during.dialog, WM_COMMAND, message, 0);
  }
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
  during.ownerEnabled = IsWindowEnabled(during.owner) != FALSE;
}

class Preview : public PluginFixture {
 protected:
  void OpenWith(HostOptions options) {
    options.pollHook = ActDuringRecompute;
    DriveDialogs(&options, &script);
    Open(options);
  }
  HostRunReport Run(int32_t width = 120, int32_t height = 90, int32_t planes = 3, bool alpha = false) {
    MakeImage(&image, width, height, planes, alpha, 8);
    FillGradient(&image);
    before = image;
    const FilterParameters defaults = {drawNormal, 0};
    if (session->parameters == nullptr) {
      EXPECT_TRUE(SetParameters(session, &defaults, sizeof defaults));
    }
    HostRunOptions run;
    run.showDialog = true;
    return RunFilter(session, &image, run);
  }
  // Finished preview computations: progress reports of (2P, 2P) for the
  // preview's P, told from the whole run's by their total.
  int PreviewComputations(const HostRunReport& report, int32_t imagePixels) const {
    int count = 0;
    for (const ProgressCall& call : report.progress)
      if (call.done == call.total && call.total != 2 * imagePixels) ++count;
    return count;
  }

  DialogScript script;
  HostImage before;
};

HostSession* dragged = nullptr;
size_t movedDisplay = 0;

// Once the dialog shows: a drag whose move is painted at once, then the release.
void CALLBACK DragWhenShown(HWND dialog, UINT, UINT_PTR timer, DWORD) {
  KillTimer(dialog, timer);
  HWND control = GetDlgItem(dialog, kPreviewControl);
  SendMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
  SendMessageA(control, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(20, 14));  // the image follows: centre -10, -4
  movedDisplay = dragged->log.displays.size();
  UpdateWindow(control);
  SendMessageA(control, WM_LBUTTONUP, 0, MAKELPARAM(20, 14));
  OkAfterAWhile(dialog);
}

TEST_F(Preview, ADragScrollsFromTheInputAndTheReleaseAsksForOneRecompute) {
  script = [](HWND dialog) {
    ShowPreview(dialog);
    SetTimer(dialog, 78, 150, DragWhenShown);
  };
  OpenWith(HostOptions{});
  dragged = session;
  HostRunReport report = Run();
  ASSERT_EQ(report.result, noErr);
  ASSERT_GE(session->log.displays.size(), movedDisplay + 2);
  EXPECT_EQ(PreviewComputations(report, 120 * 90), 1);

  const DisplayCall& moved = session->log.displays[movedDisplay];
  const int32_t pw = moved.map.bounds.right, ph = moved.map.bounds.bottom;
  ASSERT_GT(pw, 0);
  ASSERT_GT(ph, 0);
  EXPECT_EQ(moved.map.version, 1);
  EXPECT_EQ(moved.map.imageMode, plugInModeRGBColor);
  EXPECT_EQ(moved.map.colBytes, 3);
  EXPECT_EQ(moved.map.rowBytes, 3 * pw);
  EXPECT_EQ(moved.map.planeBytes, 1);
  EXPECT_FALSE(moved.hasMask);
  EXPECT_EQ(moved.srcRect.bottom, ph);
  EXPECT_EQ(moved.dstRow, 0);
  EXPECT_EQ(moved.dstCol, 0);
  // Opened on the filter rectangle's middle (45, 60), then dragged.
  const int top = (45 - 4) - ph / 2, left = (60 - 10) - pw / 2;
  for (int i = 0; i < ph; ++i)
    for (int j = 0; j < pw; ++j)
      for (int k = 0; k < 3; ++k)
        ASSERT_EQ(moved.pixels[size_t(i) * moved.map.rowBytes + j * 3 + k], GetSample(before, left + j, top + i, k))
            << i << "," << j;

  // The recompute plots the view by itself: numbered from its own corner,
  // black primes on white.
  const DisplayCall& plotted = session->log.displays.back();
  for (int i = 0; i < ph; ++i)
    for (int j = 0; j < pw; ++j)
      ASSERT_EQ(plotted.pixels[size_t(i) * plotted.map.rowBytes + j * 3], IsPrime(int64_t(i) * pw + j) ? 0 : 255)
          << i << "," << j;
}

TEST_F(Preview, ABurstOfRefreshRequestsMakesOneComputation) {
  script = [](HWND dialog) {
    ShowPreview(dialog);
    for (int i = 0; i < 6; ++i) PostMessageA(dialog, kRefresh, 1, 0);
    OkAfterAWhile(dialog);
  };
  OpenWith(HostOptions{});
  HostRunReport report = Run();
  EXPECT_EQ(report.result, noErr);
  EXPECT_EQ(PreviewComputations(report, 120 * 90), 1);
}

struct Ending {
  const char* what;
  std::vector<UINT> post;
  MessagePump pump;
  OSErr result;
};

TEST_F(Preview, OkCancelAndCloseDuringARecomputeWaitForItAndCountOnce) {
  const Ending endings[] = {
      {"OK", {IDOK}, MessagePump::One, noErr},
      {"OK twice, queue emptied in every callback", {IDOK, IDOK}, MessagePump::UntilEmpty, noErr},
      {"Cancel", {IDCANCEL}, MessagePump::One, userCanceledErr},
      {"Cancel then OK, queue emptied", {IDCANCEL, IDOK}, MessagePump::UntilEmpty, userCanceledErr},
      {"close box", {WM_CLOSE}, MessagePump::UntilEmpty, userCanceledErr},
  };
  for (const Ending& ending : endings) {
    SCOPED_TRACE(ending.what);
    script = [](HWND dialog) {
      during.dialog = dialog;
      during.owner = GetParent(dialog);
      during.armed = true;
      HWND control = ShowPreview(dialog);
      SendMessageA(control, WM_LBUTTONUP, 0, 0);  // asks for a recompute
    };
    during = DuringRecompute();
    during.post = ending.post;
    HostOptions options;
    options.pump = ending.pump;
    OpenWith(options);
    const FilterParameters start = {drawSpiral, 7};
    ASSERT_TRUE(SetParameters(session, &start, sizeof start));
    HostRunReport report = Run();
    EXPECT_EQ(during.fired, 1);
    EXPECT_FALSE(during.ownerEnabled) << "the dialog ended under a running computation";
    EXPECT_EQ(report.result, ending.result);
    EXPECT_EQ(PreviewComputations(report, 120 * 90), 1);
    if (ending.result == noErr) {
      EXPECT_EQ(report.calls.back().selector, filterSelectorFinish);
    } else {
      EXPECT_EQ(image.pixels, before.pixels);
    }
    TearDown();
  }
}

TEST_F(Preview, ADragInsideARunningComputationKeepsItBusy) {
  script = [](HWND dialog) {
    during.dialog = dialog;
    during.owner = GetParent(dialog);
    during.armed = true;
    HWND control = ShowPreview(dialog);
    SendMessageA(control, WM_LBUTTONUP, 0, 0);
  };
  during = DuringRecompute();
  during.nestedDrag = true;
  during.post = {IDOK};
  HostOptions options;
  options.pump = MessagePump::UntilEmpty;
  OpenWith(options);
  HostRunReport report = Run();
  EXPECT_EQ(during.fired, 1);
  EXPECT_FALSE(during.ownerEnabled);
  EXPECT_EQ(report.result, noErr);
  EXPECT_EQ(PreviewComputations(report, 120 * 90), 1);
}

TEST_F(Preview, LayerTransparencyIsTheMaskOfThePixelMap) {
  for (AlphaReport report : {AlphaReport::AfterPlanes, AlphaReport::CountedInPlanes}) {
    script = [](HWND dialog) {
      HWND control = ShowPreview(dialog);
      SendMessageA(control, WM_LBUTTONUP, 0, 0);
      OkAfterAWhile(dialog);
    };
    HostOptions options;
    options.alphaReport = report;
    OpenWith(options);
    ASSERT_EQ(Run(60, 50, 3, true).result, noErr);
    ASSERT_FALSE(session->log.displays.empty());
    const DisplayCall& call = session->log.displays.back();
    EXPECT_EQ(call.map.colBytes, 4);
    ASSERT_TRUE(call.hasMask);
    EXPECT_EQ(call.mask.colBytes, 4);
    EXPECT_EQ(call.mask.rowBytes, 4 * call.map.bounds.right);
    EXPECT_EQ(call.mask.maskDescription, 0);
    const int32_t pw = call.map.bounds.right, ph = call.map.bounds.bottom;
    const int top = 25 - ph / 2, left = 30 - pw / 2;
    for (int i = 0; i < ph; ++i)
      for (int j = 0; j < pw; ++j) ASSERT_EQ(call.maskBytes[size_t(i) * pw + j], GetSample(before, left + j, top + i, 3));
    TearDown();
  }
}

TEST_F(Preview, AFloatingSelectionGetsThePreviewMaskAndASelectionMixes) {
  script = [](HWND dialog) {
    ShowPreview(dialog);
    PostMessageA(dialog, kRefresh, 0, 0);  // composed from the input only
    OkAfterAWhile(dialog);
  };
  HostOptions options;
  options.floatingSelection = true;
  options.selectionMask = true;
  OpenWith(options);
  ASSERT_EQ(Run(120, 90, 1, false).result, noErr);
  ASSERT_FALSE(session->log.displays.empty());
  const DisplayCall& call = session->log.displays.back();
  const int32_t pw = call.map.bounds.right, ph = call.map.bounds.bottom;
  ASSERT_TRUE(call.hasMask);
  EXPECT_EQ(call.mask.colBytes, 1);
  EXPECT_EQ(call.mask.rowBytes, pw);
  EXPECT_EQ(call.map.imageMode, plugInModeGrayScale);
  const int top = 45 - ph / 2, left = 60 - pw / 2;
  for (int i = 0; i < ph; ++i)
    for (int j = 0; j < pw; ++j) {
      EXPECT_EQ(call.maskBytes[size_t(i) * pw + j], SelectionMaskValue(left + j, top + i));
      // Each step rounded to a double, as the plug-in's SSE arithmetic does.
      const volatile double in = GetSample(before, left + j, top + i, 0);
      const volatile double w = SelectionMaskValue(left + j, top + i) * 0.00392156862745098;
      const volatile double rest = 1 - w;
      const volatile double kept = rest * in;
      const volatile double taken = w * in;
      const volatile double sum = kept + taken;
      EXPECT_EQ(call.pixels[size_t(i) * call.map.rowBytes + j], uint8_t(sum))
          << i << "," << j << " in " << in << " m " << int(SelectionMaskValue(left + j, top + i));
    }
}

TEST_F(Preview, AHostThatCannotDrawIsNotAsked) {
  script = [](HWND dialog) {
    HWND control = ShowPreview(dialog);
    SendMessageA(control, WM_LBUTTONUP, 0, 0);
    OkAfterAWhile(dialog);
  };
  HostOptions options;
  options.noDisplayPixels = true;
  OpenWith(options);
  HostRunReport report = Run();
  EXPECT_EQ(report.result, noErr);
  EXPECT_EQ(session->log.displayPixelsCalls, 0);
}

struct Usage {
  DWORD handles = 0, gdi = 0, user = 0;
  SIZE_T privateBytes = 0;
};

Usage Measure() {
  Usage usage;
  GetProcessHandleCount(GetCurrentProcess(), &usage.handles);
  usage.gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  usage.user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
  PROCESS_MEMORY_COUNTERS_EX memory = {};
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
  usage.privateBytes = memory.PrivateUsage;
  return usage;
}

TEST_F(Preview, FiftyDialogRunsLeaveNothingBehind) {
  script = [](HWND dialog) {
    HWND control = ShowPreview(dialog);
    SendMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    SendMessageA(control, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(12, 11));
    SendMessageA(control, WM_LBUTTONUP, 0, 0);
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
  };
  OpenWith(HostOptions{});
  auto oneRun = [&]() {
    DriveDialogs(&session->options, &script);
    session->options.pollHook = ActDuringRecompute;
    return Run(200, 150, 3, true);
  };
  for (int i = 0; i < 3; ++i) ASSERT_EQ(oneRun().result, noErr);  // warm up the host's own caches
  const Usage start = Measure();
  for (int i = 0; i < 50; ++i) ASSERT_EQ(oneRun().result, noErr) << i;
  const Usage end = Measure();
  EXPECT_LE(end.handles, start.handles + 2);
  EXPECT_LE(end.gdi, start.gdi + 2);
  EXPECT_LE(end.user, start.user + 2);
  EXPECT_LE(end.privateBytes, start.privateBytes + 512 * 1024) << "from " << start.privateBytes;
}

}  // namespace
