// Every allocation the plug-in makes, refused in turn, through whole filter
// runs at the entry point: the run ends with memFullErr, nothing is written,
// every working block is given back, and the next run works.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "host/handles.h"
#include "host/platform.h"
#include "host/platform_testing.h"
#include "host/plugin_entry.h"
#include "preview/preview_buffers.h"
#include "preview/preview_compose.h"

namespace {

constexpr int kWidth = 24;
constexpr int kHeight = 18;
constexpr int kSourcePlanes = 4;  // RGB and transparency, interleaved
constexpr uint8_t kUnwritten = 0xEE;

// A host of our own in memory: every request is delivered into fresh
// buffers cut from a four-plane source image, and the output is compared
// with what it held when delivered.
struct MemoryHost {
  std::vector<uint8_t> source;
  std::vector<uint8_t> in, out;
  bool outputWritten = false;
  FilterRecord record;
  intptr_t data = 0;
  int16_t result = 0;
};

MemoryHost* host = nullptr;

bool Empty(const Rect& rect) { return rect.top >= rect.bottom || rect.left >= rect.right; }

void NoteOutput() {
  for (uint8_t byte : host->out)
    if (byte != kUnwritten) host->outputWritten = true;
}

std::vector<uint8_t> Cut(const Rect& rect, int loPlane, int hiPlane, int32_t* rowBytes) {
  const int planes = hiPlane - loPlane + 1;
  *rowBytes = (rect.right - rect.left) * planes;
  std::vector<uint8_t> bytes;
  for (int y = rect.top; y < rect.bottom; ++y)
    for (int x = rect.left; x < rect.right; ++x)
      for (int p = loPlane; p <= hiPlane; ++p)
        bytes.push_back(host->source[(size_t(y) * kWidth + x) * kSourcePlanes + p]);
  return bytes;
}

OSErr PI_CALL Deliver() {
  FilterRecord& record = host->record;
  NoteOutput();
  const Rect in = record.inRect;
  if (Empty(in)) return noErr;
  if (in.top < 0 || in.left < 0 || in.bottom > kHeight || in.right > kWidth || record.inLoPlane < 0 ||
      record.inHiPlane >= kSourcePlanes || record.inHiPlane < record.inLoPlane)
    return filterBadParameters;
  host->in = Cut(in, record.inLoPlane, record.inHiPlane, &record.inRowBytes);
  const Rect out = record.outRect;
  host->out.assign(size_t(out.bottom - out.top) * (out.right - out.left) * (record.outHiPlane - record.outLoPlane + 1),
                   kUnwritten);
  record.outRowBytes = (out.right - out.left) * (record.outHiPlane - record.outLoPlane + 1);
  record.inData = host->in.data();
  record.outData = host->out.data();
  record.inColumnBytes = record.outColumnBytes = record.inHiPlane - record.inLoPlane + 1;
  return noErr;
}

void ResetHost(MemoryHost* memory, bool transparency) {
  host = memory;
  memory->source.resize(size_t(kWidth) * kHeight * kSourcePlanes);
  for (size_t i = 0; i < memory->source.size(); ++i) memory->source[i] = uint8_t(i * 13 + 7);
  std::memset(&memory->record, 0, sizeof memory->record);
  FilterRecord& record = memory->record;
  record.imageSize = {kHeight, kWidth};
  record.planes = 3;
  record.inTransparencyMask = transparency ? 1 : 0;
  record.imageMode = plugInModeRGBColor;
  record.filterRect = {2, 3, 15, 20};
  record.advanceState = Deliver;
  record.foreground = {65535, 0, 0};
  record.background = {0, 0, 65535};
}

int16_t Call(int16_t selector) {
  host->result = 12345;
  PluginMain(selector, &host->record, &host->data, &host->result);
  return host->result;
}

// A host's loop; the first failure ends it.
int16_t RunFilterSteps(bool withDialog) {
  if (withDialog && Call(filterSelectorParameters) != noErr) return host->result;
  if (Call(filterSelectorPrepare) != noErr) return host->result;
  if (Call(filterSelectorStart) != noErr) return host->result;
  for (int calls = 0; !Empty(host->record.inRect) && calls < 10; ++calls) {
    if (host->in.empty() && Deliver() != noErr) return filterBadParameters;
    if (Call(filterSelectorContinue) != noErr) return host->result;
  }
  NoteOutput();
  return Call(filterSelectorFinish);
}

void ReleaseHostKept(MemoryHost* memory) {
  DisposeFallbackHandle(memory->record.parameters);
  FreeLockedBlock(reinterpret_cast<void*>(memory->data));
}

struct RefusalCase {
  const char* name;
  bool withDialog;
  bool transparency;
  int16_t draw;
};

}  // namespace

TEST(MemoryRefusal, EveryAllocationOfARunInTurn) {
  const RefusalCase cases[] = {{"normal", false, false, drawNormal},
                               {"spiral", false, false, drawSpiral},
                               {"dialog, spiral", true, false, drawSpiral},
                               {"dialog with transparency", true, true, drawNormal}};
  for (const RefusalCase& c : cases) {
    int refusedRuns = 0;
    for (int granted = 0; granted < 40; ++granted) {
      MemoryHost memory;
      ResetHost(&memory, c.transparency);
      RefuseMemoryAfter(granted);
      int16_t result = RunFilterSteps(c.withDialog);
      const int asked = MemoryRequests();
      RefuseMemoryAfter(-1);
      SCOPED_TRACE(testing::Message() << c.name << ", " << granted << " granted of " << asked);
      EXPECT_EQ(LiveWorkingBlocks(), 0);
      if (asked <= granted) {
        // Nothing refused: the run went through.
        EXPECT_EQ(result, noErr);
        EXPECT_TRUE(memory.outputWritten);
        ReleaseHostKept(&memory);
        break;
      }
      if (result == noErr && c.withDialog) {
        // A preview buffer was refused: the dialog goes on without a preview.
        EXPECT_TRUE(memory.outputWritten);
      } else {
        ++refusedRuns;
        EXPECT_EQ(result, memFullErr);
        EXPECT_FALSE(memory.outputWritten);
      }
      // The layout of the next run is the case's; a record that exists is reused.
      if (memory.record.parameters != nullptr)
        reinterpret_cast<FilterParameters*>(*memory.record.parameters)->draw = c.draw;
      memory.in.clear();
      memory.outputWritten = false;
      EXPECT_EQ(RunFilterSteps(c.withDialog), noErr);
      EXPECT_TRUE(memory.outputWritten);
      EXPECT_EQ(LiveWorkingBlocks(), 0);
      ReleaseHostKept(&memory);
    }
    EXPECT_GE(refusedRuns, 3) << c.name;
  }
  EXPECT_EQ(LiveLockedBlocks(), 0);
}

TEST(MemoryRefusal, PreviewWithEveryBufferRefusedComposesNothingAndLeaksNothing) {
  for (int granted = 0; granted <= 3; ++granted) {
    MemoryHost memory;
    ResetHost(&memory, true);
    FilterGlobals globals = {};
    globals.result = &memory.result;
    globals.filterRecord = &memory.record;
    globals.hasTransparency = 1;
    globals.previewRect = {0, 0, 30, 30};
    FilterParameters parameters = {drawSpiral, 3};
    FilterParameters* block = &parameters;
    memory.record.parameters = reinterpret_cast<Handle>(&block);
    RefuseMemoryAfter(granted);
    AllocPreviewBuffers(&globals);
    InitPreview(&globals);
    ComposePreview(&globals, 1);
    ComposePreview(&globals, 0);
    PreviewPixelMap pixels;
    FillPreviewPixelMap(&globals, &pixels);
    FreePreviewBuffers(&globals);
    RefuseMemoryAfter(-1);
    EXPECT_EQ(LiveWorkingBlocks(), 0) << granted;
  }
}
