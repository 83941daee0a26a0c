// The preview's geometry, its whole-image request and its composition,
// against a small in-memory host.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "preview/preview_buffers.h"
#include "preview/preview_compose.h"
#include "preview/preview_geometry.h"

namespace {

struct AdvanceSnapshot {
  int16_t planes, inHiPlane;
};
std::vector<AdvanceSnapshot> advances;
std::vector<OSErr> advanceResults;  // answered in turn; noErr once used up
FilterRecord* currentRecord = nullptr;

OSErr PI_CALL RecordingAdvanceState() {
  advances.push_back({currentRecord->planes, currentRecord->inHiPlane});
  if (advances.size() <= advanceResults.size()) return advanceResults[advances.size() - 1];
  return noErr;
}

// A host holding a whole image of V x H pixels: the input a pattern, the
// output distinct from it, the selection mask a gradient.
struct PreviewHost {
  FilterRecord record = {};
  FilterGlobals globals = {};
  FilterParameters parameters = {drawNormal, 0};
  char* parametersBlock = reinterpret_cast<char*>(&parameters);
  int16_t result = noErr;
  std::vector<uint8_t> in, out, mask;
  int bytes = 1;

  PreviewHost(int16_t rows, int16_t columns, int16_t planes, int bytesPerSample, int16_t previewSize = 30) {
    bytes = bytesPerSample;
    record.imageSize = {rows, columns};
    record.planes = planes;
    record.imageMode = bytes == 2 ? (planes >= 3 ? plugInModeRGB48 : plugInModeGray16)
                                  : (planes >= 3 ? plugInModeRGBColor : plugInModeGrayScale);
    record.filterRect = {0, 0, rows, columns};
    record.advanceState = RecordingAdvanceState;
    record.parameters = &parametersBlock;
    const size_t rowBytes = size_t(columns) * planes * bytes;
    in.resize(rowBytes * rows);
    out.resize(rowBytes * rows);
    mask.resize(size_t(columns) * rows);
    for (size_t i = 0; i < in.size(); ++i) in[i] = uint8_t(i * 7 + 3);
    for (size_t i = 0; i < out.size(); ++i) out[i] = uint8_t(255 - i % 251);
    for (size_t i = 0; i < mask.size(); ++i) mask[i] = uint8_t(i % 256);
    record.inData = in.data();
    record.outData = out.data();
    record.maskData = mask.data();
    record.inRowBytes = record.outRowBytes = int32_t(rowBytes);
    record.maskRowBytes = columns;
    globals.filterRecord = &record;
    globals.result = &result;
    globals.previewRect = {0, 0, previewSize, previewSize};
    currentRecord = &record;
    advances.clear();
    advanceResults.clear();
  }
  ~PreviewHost() { FreePreviewBuffers(&globals); }

  // Opens the preview as the dialog does: buffers, then the whole-image request.
  void Open() {
    AllocPreviewBuffers(&globals);
    ASSERT_EQ(InitPreview(&globals), noErr);
  }
  uint8_t Pixel(int row, int column, int k) const {
    const int pixelBytes = PreviewPixelBytes(&globals);
    return globals.previewPixels[(size_t(row) * 30 + column) * pixelBytes + k];
  }
  uint8_t Mask(int row, int column) const { return globals.previewMask[size_t(row) * 30 + column]; }
  uint8_t In(int row, int column, int k) const {
    return in[(size_t(row) * record.imageSize.h + column) * record.planes + k];
  }
};

TEST(PreviewGeometry, ScrollingKeepsThePreviewInsideTheImage) {
  PreviewHost host(100, 200, 3, 1);
  host.globals.zoom = 1;
  host.globals.centerV = 50;
  host.globals.centerH = 100;
  ScrollPreview(&host.globals, 10, -4);
  EXPECT_EQ(host.globals.centerV, 54);
  EXPECT_EQ(host.globals.centerH, 90);
  ScrollPreview(&host.globals, 85, -100);  // would reach 5 and 154
  EXPECT_EQ(host.globals.centerH, 15);
  EXPECT_EQ(host.globals.centerV, 85);
  ScrollPreview(&host.globals, -400, 400);
  EXPECT_EQ(host.globals.centerH, 185);
  EXPECT_EQ(host.globals.centerV, 15);
}

TEST(PreviewGeometry, APreviewWiderThanTheImageCentresIt) {
  PreviewHost host(100, 25, 3, 1);
  host.globals.zoom = 1;
  host.globals.centerV = 50;
  host.globals.centerH = 3;
  ScrollPreview(&host.globals, 7, 0);
  EXPECT_EQ(host.globals.centerH, 12);
  Rect visible;
  GetVisibleRect(&host.globals, &visible);
  EXPECT_EQ(visible.left, -2);  // (25 - 30) / 2 truncates toward zero
  EXPECT_EQ(visible.right, 28);
  host.record.imageSize.h = 20;
  GetVisibleRect(&host.globals, &visible);
  EXPECT_EQ(visible.left, -5);
  EXPECT_EQ(visible.right, 25);
}

TEST(PreviewGeometry, TheVisibleRectangleStaysInsideTheImage) {
  PreviewHost host(100, 200, 3, 1);
  host.globals.zoom = 1;
  host.globals.centerH = 100;
  Rect visible;
  host.globals.centerV = 10;
  GetVisibleRect(&host.globals, &visible);
  EXPECT_EQ(visible.top, 0);
  EXPECT_EQ(visible.bottom, 30);
  host.globals.centerV = 95;
  GetVisibleRect(&host.globals, &visible);
  EXPECT_EQ(visible.top, 70);
  EXPECT_EQ(visible.bottom, 100);
}

TEST(PreviewGeometry, IntersectionsEmptyEachAxisOnItsOwn) {
  Rect out;
  const Rect a = {0, 0, 30, 30}, b = {40, 0, 50, 30};
  IntersectRects(&out, &a, &b);
  EXPECT_EQ(out.top, 0);
  EXPECT_EQ(out.bottom, 0);
  EXPECT_EQ(out.left, 0);
  EXPECT_EQ(out.right, 30);
  const Rect inverted = {30, 30, 0, 0}, inner = {10, 10, 20, 20};
  IntersectRects(&out, &inverted, &inner);
  EXPECT_EQ(out.top, 10);
  EXPECT_EQ(out.left, 10);
  EXPECT_EQ(out.bottom, 20);
  EXPECT_EQ(out.right, 20);
  Rect same = {5, 5, 25, 25};
  IntersectRects(&same, &same, &inner);  // out may be an input
  EXPECT_EQ(same.top, 10);
  EXPECT_EQ(same.right, 20);
}

TEST(PreviewRequest, AsksForTheWholeImageAndCentresOnTheFilterRectangle) {
  PreviewHost host(100, 200, 3, 1);
  host.record.filterRect = {10, 20, 50, 60};
  host.Open();
  EXPECT_EQ(host.globals.centerV, 30);
  EXPECT_EQ(host.globals.centerH, 40);
  EXPECT_EQ(host.globals.zoom, 1);
  for (const Rect* rect : {&host.record.inRect, &host.record.outRect, &host.record.maskRect}) {
    EXPECT_EQ(rect->top, 0);
    EXPECT_EQ(rect->left, 0);
    EXPECT_EQ(rect->bottom, 100);
    EXPECT_EQ(rect->right, 200);
  }
  EXPECT_EQ(host.record.inHiPlane, 2);
  EXPECT_EQ(host.record.outHiPlane, 2);
  EXPECT_EQ(host.record.inputRate, 0x10000);
  EXPECT_EQ(host.record.maskPadding, 255);
  ASSERT_EQ(advances.size(), 1u);
  host.record.filterRect = {0, 0, 5, 9};
  InitPreview(&host.globals);
  EXPECT_EQ(host.globals.centerV, 2);
}

TEST(PreviewRequest, TransparencyIsFetchedOnceAsThePlaneAfterTheColours) {
  PreviewHost host(2, 3, 1, 2);
  host.globals.hasTransparency = 1;
  // The host delivers gray + transparency: samples of the second plane.
  const uint16_t alphas[6] = {32768, 32767, 16384, 127, 65535, 0};
  host.in.assign(2 * 3 * 2 * 2, 0);
  for (int i = 0; i < 6; ++i) std::memcpy(&host.in[size_t(i) * 4 + 2], &alphas[i], 2);
  host.record.inData = host.in.data();
  host.record.inRowBytes = 3 * 2 * 2;
  host.Open();
  ASSERT_EQ(advances.size(), 2u);
  EXPECT_EQ(advances[0].planes, 2);
  EXPECT_EQ(advances[0].inHiPlane, 1);
  EXPECT_EQ(advances[1].planes, 1);
  EXPECT_EQ(advances[1].inHiPlane, 0);
  const uint8_t expected[6] = {255, 255, 128, 0, 255, 0};
  ASSERT_NE(host.globals.transparencyPlane, nullptr);
  EXPECT_EQ(std::memcmp(host.globals.transparencyPlane, expected, 6), 0);
}

TEST(PreviewRequest, NothingIsCopiedFromARequestTheHostRefused) {
  PreviewHost host(4, 4, 3, 1);
  host.globals.hasTransparency = 1;
  host.record.inData = nullptr;  // nothing delivered
  advanceResults = {-108};
  AllocPreviewBuffers(&host.globals);
  EXPECT_EQ(InitPreview(&host.globals), noErr);  // the second request is the one returned
  ASSERT_EQ(advances.size(), 2u);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(host.globals.transparencyPlane[i], 0);
  EXPECT_EQ(host.record.planes, 3);
}

TEST(PreviewBuffers, MadeOnceAndFreedOnce) {
  PreviewHost host(10, 10, 3, 1);
  host.globals.hasTransparency = 1;
  AllocPreviewBuffers(&host.globals);
  uint8_t* pixels = host.globals.previewPixels;
  ASSERT_NE(pixels, nullptr);
  ASSERT_NE(host.globals.transparencyPlane, nullptr);
  AllocPreviewBuffers(&host.globals);
  EXPECT_EQ(host.globals.previewPixels, pixels);
  FreePreviewBuffers(&host.globals);
  EXPECT_EQ(host.globals.previewPixels, nullptr);
  EXPECT_EQ(host.globals.previewMask, nullptr);
  EXPECT_EQ(host.globals.transparencyPlane, nullptr);
  FreePreviewBuffers(&host.globals);
  host.globals.previewRect = {0, 0, 0, 30};  // an empty preview takes nothing
  AllocPreviewBuffers(&host.globals);
  EXPECT_EQ(host.globals.previewPixels, nullptr);
  ComposePreview(&host.globals, 0);  // and composes nothing
}

TEST(PreviewSamples, EightAndSixteenBitRules) {
  EXPECT_EQ(PreviewSample8(9, 200, false, 0), 200);
  EXPECT_EQ(PreviewSample8(0, 255, true, 128), 128);
  EXPECT_EQ(PreviewSample8(100, 200, true, 64), 125);
  EXPECT_EQ(PreviewSample8(17, 200, true, 255), 200);
  EXPECT_EQ(PreviewSample8(17, 200, true, 0), 17);
  EXPECT_EQ(PreviewSample8(3, 3, true, 5), 2);  // just below 3 in double precision
  EXPECT_EQ(PreviewSample16(0, 32768, false, 0), 255);
  EXPECT_EQ(PreviewSample16(0, 16384, false, 0), 128);
  EXPECT_EQ(PreviewSample16(0, 255, false, 0), 1);
  EXPECT_EQ(PreviewSample16(0, 32768, true, 128), 129);
  EXPECT_EQ(PreviewSample16(32768, 0, true, 0), 255);
}

TEST(PreviewCompose, ALargeImageFillsThePreviewFromTheVisibleRectangle) {
  PreviewHost host(100, 200, 3, 1);
  host.Open();
  host.globals.centerV = 50;
  host.globals.centerH = 100;
  ComposePreview(&host.globals, 0);
  for (int i = 0; i < 30; ++i)
    for (int j = 0; j < 30; ++j) {
      for (int k = 0; k < 3; ++k) ASSERT_EQ(host.Pixel(i, j, k), host.In(35 + i, 85 + j, k)) << i << "," << j;
      ASSERT_EQ(host.Mask(i, j), 1);
    }
}

TEST(PreviewCompose, ASmallImageSitsCentredOnBlack) {
  PreviewHost host(10, 20, 3, 1);
  host.Open();
  ComposePreview(&host.globals, 0);
  for (int i = 0; i < 30; ++i)
    for (int j = 0; j < 30; ++j) {
      const bool inside = i >= 10 && i < 20 && j >= 5 && j < 25;
      for (int k = 0; k < 3; ++k)
        ASSERT_EQ(host.Pixel(i, j, k), inside ? host.In(i - 10, j - 5, k) : 0) << i << "," << j;
      ASSERT_EQ(host.Mask(i, j), inside ? 1 : 0);
    }
}

TEST(PreviewCompose, ARecomputeOutsideTheFilterRectangleShowsTheOutputUntouched) {
  PreviewHost host(100, 200, 1, 1);
  host.Open();
  host.record.filterRect = {0, 150, 100, 200};  // right of the view
  host.globals.centerV = 50;
  host.globals.centerH = 50;
  const std::vector<uint8_t> outputBefore = host.out;
  ComposePreview(&host.globals, 1);
  EXPECT_EQ(host.result, noErr);
  EXPECT_EQ(host.globals.processRect.left, 0);
  EXPECT_EQ(host.globals.processRect.right, 0);
  EXPECT_EQ(host.out, outputBefore);
  EXPECT_EQ(host.Pixel(0, 0, 0), host.out[size_t(35) * 200 + 35]);
}

TEST(PreviewCompose, ARecomputePlotsTheVisiblePartAndAFailureShowsTheInput) {
  PreviewHost host(100, 200, 1, 1);
  host.record.foreground = {65535, 65535, 65535};
  host.Open();
  host.globals.centerV = 15;
  host.globals.centerH = 15;
  EXPECT_EQ(ComposePreview(&host.globals, 1), noErr);
  EXPECT_EQ(host.globals.processRect.bottom, 30);
  EXPECT_EQ(host.globals.processRect.right, 30);
  EXPECT_EQ(host.Pixel(0, 2, 0), 255);  // number 2: prime
  EXPECT_EQ(host.Pixel(0, 4, 0), 0);
  host.record.abortProc = []() -> Boolean { return 1; };  // the user stops this one
  EXPECT_EQ(ComposePreview(&host.globals, 1), userCanceledErr);
  EXPECT_EQ(host.result, noErr);  // the dialog's to keep
  EXPECT_EQ(host.Pixel(0, 4, 0), host.In(0, 4, 0));
  host.record.abortProc = nullptr;
  host.result = userCanceledErr;  // left by a stopped recompute
  EXPECT_EQ(ComposePreview(&host.globals, 1), noErr);  // the engine still runs, and succeeds
  EXPECT_EQ(host.Pixel(0, 4, 0), host.In(0, 4, 0));
}

TEST(PreviewCompose, TheSelectionMaskMixesInputAndPlot) {
  PreviewHost host(40, 40, 1, 2);
  host.Open();
  host.record.haveMask = 1;
  host.globals.centerV = 20;
  host.globals.centerH = 20;
  ComposePreview(&host.globals, 0);
  // Without a recompute both operands are the input: m 0 and m 255 give it.
  const int row = 5, column = 5;  // image (10, 10)
  uint16_t sample;
  std::memcpy(&sample, &host.in[(size_t(10) * 40 + 10) * 2], 2);
  EXPECT_EQ(host.Mask(row, column), host.mask[size_t(10) * 40 + 10]);
  EXPECT_EQ(host.Pixel(row, column, 0), PreviewSample16(sample, sample, true, host.Mask(row, column)));
}

TEST(PreviewPixelMap, MasksForFloatingSelectionsAndTransparentLayers) {
  PreviewHost host(50, 50, 3, 1);
  host.globals.hasTransparency = 1;
  host.Open();
  PreviewPixelMap pixels;
  FillPreviewPixelMap(&host.globals, &pixels);
  EXPECT_EQ(pixels.map.version, 1);
  EXPECT_EQ(pixels.map.bounds.bottom, 30);
  EXPECT_EQ(pixels.map.bounds.right, 30);
  EXPECT_EQ(pixels.map.imageMode, plugInModeRGBColor);
  EXPECT_EQ(pixels.map.colBytes, 4);
  EXPECT_EQ(pixels.map.rowBytes, 120);
  EXPECT_EQ(pixels.map.planeBytes, 1);
  EXPECT_EQ(pixels.map.masks, nullptr);
  host.record.inLayerPlanes = 3;
  host.record.inTransparencyMask = 1;
  FillPreviewPixelMap(&host.globals, &pixels);
  ASSERT_EQ(pixels.map.masks, &pixels.mask);
  EXPECT_EQ(pixels.mask.maskData, host.globals.previewPixels + 3);
  EXPECT_EQ(pixels.mask.colBytes, 4);
  EXPECT_EQ(pixels.mask.rowBytes, 120);
  host.record.isFloating = 1;  // a floating selection wins
  FillPreviewPixelMap(&host.globals, &pixels);
  EXPECT_EQ(pixels.mask.maskData, host.globals.previewMask);
  EXPECT_EQ(pixels.mask.colBytes, 1);
  EXPECT_EQ(pixels.mask.rowBytes, 30);
  EXPECT_EQ(pixels.mask.next, nullptr);
  EXPECT_EQ(pixels.mask.maskDescription, 0);
  host.record.imageMode = plugInModeGray16;
  FillPreviewPixelMap(&host.globals, &pixels);
  EXPECT_EQ(pixels.map.imageMode, plugInModeGrayScale);
}

}  // namespace
