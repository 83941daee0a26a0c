// The real plug-in's memory, seen through its import table (the C runtime's
// heap and GlobalAlloc): each allocation refused in turn, where the run ends
// with memFullErr or goes on without what was refused, nothing is written,
// every block of the run is given back and the next run works; and a soak of
// many mixed runs in one process, after which nothing has grown.
#include <gtest/gtest.h>
#include <windows.h>

#include <psapi.h>

#include <cstdlib>
#include <string>

#include "tests/wine/dialog_driver.h"
#include "tests/wine/plugin_fixture.h"
#include "tests/wine/test_support.h"
#include "tools/vkhost/allocation_faults.h"

namespace {

class PluginMemory : public PluginFixture {
 protected:
  static void SetUpTestSuite() {
    PluginFixture::SetUpTestSuite();
    static bool watched = false;
    if (!watched && plugin.module != nullptr) watched = WatchPluginAllocations(plugin.module, &watchError);
  }

  HostRunReport Run(bool dialog, int32_t colorPlanes, bool alpha) {
    MakeImage(&image, 40, 30, colorPlanes, alpha, 8);
    FillGradient(&image);
    HostRunOptions run;
    run.showDialog = dialog;
    run.filterRect = Rect{2, 3, 28, 37};
    return RunFilter(session, &image, run);
  }

  static std::string watchError;
};
std::string PluginMemory::watchError;

struct RefusalCase {
  const char* name;
  bool dialog;
  bool alpha;
  FilterParameters parameters;
  bool handlesAbsent;
};

}  // namespace

TEST_F(PluginMemory, EveryAllocationOfARunInTurn) {
  ASSERT_TRUE(watchError.empty()) << watchError;
  const RefusalCase cases[] = {
      {"normal", false, false, {drawNormal, 0}, false},
      {"spiral", false, false, {drawSpiral, 5}, false},
      {"dialog, spiral", true, false, {drawSpiral, 5}, false},
      {"dialog with transparency, no handle suite", true, true, {drawNormal, 3}, true},
  };
  for (const RefusalCase& c : cases) {
    int refused = 0;
    for (int32_t granted = 0; granted < 60; ++granted) {
      SCOPED_TRACE(testing::Message() << c.name << ", " << granted << " granted");
      HostOptions options;
      options.handles.absent = c.handlesAbsent;
      options.alphaReport = AlphaReport::AfterPlanes;
      Open(options);
      if (HasFatalFailure()) return;
      ASSERT_TRUE(SetParameters(session, &c.parameters, sizeof c.parameters));
      const int32_t heapBefore = LivePluginHeapBlocks();
      const int32_t globalBefore = LivePluginGlobalBlocks();
      RefusePluginAllocationsAfter(granted);
      HostRunReport report = Run(c.dialog, 3, c.alpha);
      const int32_t asked = PluginAllocationRequests();
      RefusePluginAllocationsAfter(-1);
      HostImage before;
      MakeImage(&before, 40, 30, 3, c.alpha, 8);
      FillGradient(&before);
      const bool written = image.pixels != before.pixels;
      // The working memory of the run is all given back; only the globals
      // record stays, kept by design in global memory.
      EXPECT_EQ(LivePluginHeapBlocks(), heapBefore);
      EXPECT_LE(LivePluginGlobalBlocks(), globalBefore + 1);
      if (asked <= granted) {
        EXPECT_EQ(report.result, noErr);
        EXPECT_TRUE(written);
        TearDown();
        break;
      }
      if (report.result == noErr) {
        // A preview buffer refused: the dialog went on without its preview.
        EXPECT_TRUE(c.dialog);
        EXPECT_TRUE(written);
      } else {
        ++refused;
        EXPECT_EQ(report.result, memFullErr) << ResultName(report.result);
        EXPECT_FALSE(written);
      }
      HostRunReport next = Run(c.dialog, 3, c.alpha);
      EXPECT_EQ(next.result, noErr) << "the run after";
      EXPECT_EQ(LivePluginHeapBlocks(), heapBefore);
      TearDown();
    }
    EXPECT_GE(refused, 2) << c.name;
  }
}

namespace {

// Wine answers GetProcessHandleCount, GetGuiResources and the private
// usage with 0, so the counts are taken the long way: kernel handles by
// asking after every handle value, windows by enumerating the thread's, and
// memory by walking the committed private regions. (The plug-in imports no
// GDI call at all; its only device contexts are BeginPaint/EndPaint pairs.)
struct ProcessCounts {
  int32_t handles = 0;
  int32_t windows = 0;
  uint64_t privateBytes = 0;
  int32_t heapBlocks = 0;
  int32_t globalBlocks = 0;
};

int32_t KernelHandles() {
  int32_t count = 0;
  DWORD flags;
  for (uintptr_t value = 4; value < 0x10000; value += 4)
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
  return count;
}

BOOL CALLBACK CountWindow(HWND window, LPARAM counter) {
  ++*reinterpret_cast<int32_t*>(counter);
  EnumChildWindows(window, CountWindow, counter);
  return TRUE;
}

uint64_t PrivateBytes() {
  uint64_t bytes = 0;
  MEMORY_BASIC_INFORMATION info;
  for (const char* at = nullptr; VirtualQuery(at, &info, sizeof info) == sizeof info;
       at = static_cast<const char*>(info.BaseAddress) + info.RegionSize) {
    if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) bytes += info.RegionSize;
    if (static_cast<const char*>(info.BaseAddress) + info.RegionSize < at) break;
  }
  return bytes;
}

ProcessCounts CountProcess() {
  ProcessCounts counts;
  counts.handles = KernelHandles();
  EnumThreadWindows(GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&counts.windows));
  counts.privateBytes = PrivateBytes();
  counts.heapBlocks = LivePluginHeapBlocks();
  counts.globalBlocks = LivePluginGlobalBlocks();
  return counts;
}

int32_t soakRun = 0;

void CALLBACK DragPreviewThenOk(HWND dialog, UINT, UINT_PTR timer, DWORD) {
  KillTimer(dialog, timer);
  DragPreview(dialog, 6, 4);
  PostMessageA(dialog, WM_COMMAND, IDOK, 0);
}

// The user of run n: OK, or Cancel every third dialog; every fourth one
// accepted after using the preview.
void AnswerDialog(void* window, void* /*context*/) {
  HWND dialog = static_cast<HWND>(window);
  if (GetDlgItem(dialog, kPreviewControl) != nullptr && soakRun % 16 == 1) {
    ShowPreview(dialog);
    SetTimer(dialog, 92, 10, DragPreviewThenOk);
    return;
  }
  const bool cancel = soakRun % 3 == 2;
  PostMessageA(dialog, WM_COMMAND, cancel ? IDCANCEL : IDOK, 0);
}

int32_t SoakRuns() {
  const char* text = std::getenv("VARDELKIST_SOAK_RUNS");
  const int32_t runs = text != nullptr ? std::atoi(text) : 0;
  return runs > 0 ? runs : 400;
}

}  // namespace

// Both layouts and depths, gray and RGB with and without transparency, with
// and without the dialog (some cancelled, some with the preview dragged) and
// user aborts, all in one session: the counts of the process after a warm-up
// and at the end match.
TEST_F(PluginMemory, SoakOfMixedRunsLeavesNothingBehind) {
  ASSERT_TRUE(watchError.empty()) << watchError;
  HostOptions options;
  options.dialogHook = AnswerDialog;
  Open(options);
  const int32_t runs = SoakRuns();
  const int32_t warmUp = runs / 10;
  ProcessCounts start;
  int32_t results[3] = {0, 0, 0};  // noErr, userCanceledErr, others
  int32_t previewDraws = 0;
  const DWORD began = GetTickCount();
  for (soakRun = 0; soakRun < runs; ++soakRun) {
    if (soakRun == warmUp) start = CountProcess();
    const FilterParameters parameters = {int16_t(soakRun % 2), uint16_t(soakRun % 97)};
    if (soakRun % 13 == 0) {
      ASSERT_TRUE(SetParameters(session, &parameters, sizeof parameters));
    }
    session->options.abortAtPoll = soakRun % 11 == 5 ? 1 : 0;
    MakeImage(&image, 24 + soakRun % 7, 16 + soakRun % 5, soakRun % 4 < 2 ? 3 : 1, soakRun % 3 == 0,
              soakRun % 5 < 2 ? 16 : 8);
    FillGradient(&image);
    HostRunOptions run;
    run.showDialog = soakRun % 4 == 1;
    ClearLog(session);
    HostRunReport report = RunFilter(session, &image, run);
    ++results[report.result == noErr ? 0 : report.result == userCanceledErr ? 1 : 2];
    previewDraws += session->log.displayPixelsCalls;
    ASSERT_TRUE(report.result == noErr || report.result == userCanceledErr) << soakRun << ": " << report.result;
  }
  const ProcessCounts end = CountProcess();
  std::printf("soak: %d runs in %.1f s (%d done, %d cancelled or aborted, %d preview draws); from run %d to the "
              "end: kernel handles %d -> %d, windows %d -> %d, private memory %lu -> %lu KB, plug-in heap blocks "
              "%d -> %d, plug-in global blocks %d -> %d\n",
              runs, (GetTickCount() - began) / 1000.0, results[0], results[1], previewDraws, warmUp, start.handles,
              end.handles, start.windows, end.windows, static_cast<unsigned long>(start.privateBytes / 1024),
              static_cast<unsigned long>(end.privateBytes / 1024), start.heapBlocks, end.heapBlocks,
              start.globalBlocks, end.globalBlocks);
  EXPECT_EQ(results[2], 0);
  EXPECT_GT(previewDraws, 0);
  EXPECT_EQ(end.heapBlocks, start.heapBlocks);
  EXPECT_EQ(end.globalBlocks, start.globalBlocks);
  EXPECT_LE(end.handles, start.handles + 2);
  EXPECT_EQ(end.windows, start.windows);
  EXPECT_LE(end.privateBytes, start.privateBytes + (4u << 20));
}

// Refusals at random points over many mixed runs in one session, as an
// independent host would inject them: every run ends done, cancelled or out
// of memory, a failed run writes nothing, and afterwards nothing has grown
// and a sound run works.
TEST_F(PluginMemory, RandomRefusalsOverManyRunsLeaveNothingBehind) {
  ASSERT_TRUE(watchError.empty()) << watchError;
  HostOptions options;
  options.dialogHook = AnswerDialog;
  Open(options);
  uint32_t seed = 0x2545F491u;
  auto next = [&seed](uint32_t range) { return NextTestRandom(&seed, range); };
  const int32_t runs = 300;
  int32_t outcomes[3] = {0, 0, 0};  // done, cancelled, out of memory
  ProcessCounts start;
  for (soakRun = 0; soakRun < runs; ++soakRun) {
    SCOPED_TRACE(testing::Message() << "run " << soakRun);
    if (soakRun == 30) start = CountProcess();
    MakeImage(&image, 20 + int32_t(next(40)), 12 + int32_t(next(30)), next(2) ? 3 : 1, next(3) == 0,
              next(2) ? 16 : 8);
    FillGradient(&image);
    const HostImage before = image;
    if (next(9) == 0) {
      const FilterParameters parameters = {int16_t(next(2)), uint16_t(next(65536))};
      ASSERT_TRUE(SetParameters(session, &parameters, sizeof parameters));
    }
    HostRunOptions run;
    run.showDialog = next(4) == 0;
    // Most runs meet a refusal somewhere; some run clean.
    RefusePluginAllocationsAfter(next(5) == 0 ? -1 : int32_t(next(8)));
    ClearLog(session);
    const HostRunReport report = RunFilter(session, &image, run);
    RefusePluginAllocationsAfter(-1);
    const bool written = image.pixels != before.pixels;
    if (report.result == noErr) {
      ++outcomes[0];
    } else if (report.result == userCanceledErr) {
      ++outcomes[1];
      EXPECT_FALSE(written);
    } else {
      ++outcomes[2];
      ASSERT_EQ(report.result, memFullErr) << ResultName(report.result);
      EXPECT_FALSE(written);
    }
  }
  const ProcessCounts end = CountProcess();
  std::printf("random refusals: %d runs, %d done, %d cancelled, %d out of memory; plug-in heap blocks %d -> %d, "
              "global blocks %d -> %d, kernel handles %d -> %d, windows %d -> %d\n",
              runs, outcomes[0], outcomes[1], outcomes[2], start.heapBlocks, end.heapBlocks, start.globalBlocks,
              end.globalBlocks, start.handles, end.handles, start.windows, end.windows);
  EXPECT_GT(outcomes[0], 0);
  EXPECT_GT(outcomes[2], 0);
  EXPECT_EQ(end.heapBlocks, start.heapBlocks);
  EXPECT_EQ(end.globalBlocks, start.globalBlocks);
  EXPECT_LE(end.handles, start.handles + 2);
  EXPECT_EQ(end.windows, start.windows);
  MakeImage(&image, 40, 30, 3, false, 8);
  FillGradient(&image);
  const HostImage before = image;
  HostRunOptions run;
  EXPECT_EQ(RunFilter(session, &image, run).result, noErr);
  EXPECT_NE(image.pixels, before.pixels);
}
