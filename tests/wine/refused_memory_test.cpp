// The real plug-in with each of its allocations refused in turn (the C
// runtime's heap and GlobalAlloc, seen through its import table): the run
// ends with memFullErr or goes on without what was refused, nothing is
// written, every block of the run is given back, and the next run works.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/wine/plugin_fixture.h"
#include "tools/host/allocation_faults.h"

namespace {

class RefusedMemory : public PluginFixture {
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
std::string RefusedMemory::watchError;

struct RefusalCase {
  const char* name;
  bool dialog;
  bool alpha;
  FilterParameters parameters;
  bool handlesAbsent;
};

}  // namespace

TEST_F(RefusedMemory, EveryAllocationOfARunInTurn) {
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
