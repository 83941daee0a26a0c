// Our host's advanceState and its Start/Continue/Finish loop, driven by a
// stand-in plug-in: what is delivered, what is refused, what is written back.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/wine/host_fake_plugin.h"

namespace {

class HostBuffers : public HostFixture {};

void ExpectDelivered(const HostImage& image, const void* data, int32_t rowBytes, int32_t columnBytes, const Rect& rect,
                     int16_t loPlane, int16_t hiPlane) {
  const int32_t bps = ImageBytesPerSample(image);
  for (int32_t y = rect.top; y < rect.bottom; ++y)
    for (int32_t x = rect.left; x < rect.right; ++x)
      for (int32_t p = loPlane; p <= hiPlane; ++p)
        ASSERT_EQ(BufferSample(data, rowBytes, columnBytes, bps, y - rect.top, x - rect.left, p - loPlane),
                  GetSample(image, x, y, p))
            << "x " << x << " y " << y << " plane " << p;
}

// Continue fills its output buffer with `value` in every delivered sample.
void FillOutput(FilterRecord* record, uint8_t value) {
  const Rect& rect = record->outRect;
  const int32_t rowData = (rect.right - rect.left) * record->outColumnBytes;
  for (int32_t y = 0; y < rect.bottom - rect.top; ++y)
    std::memset(static_cast<uint8_t*>(record->outData) + y * record->outRowBytes, value, static_cast<size_t>(rowData));
}

}  // namespace

TEST_F(HostBuffers, DeliversExactlyTheRequestedRectangleAndPlanesWithRowPadding) {
  HostOptions options;
  options.rowPaddingBytes = 3;
  Open(options);
  Make(20, 10, 3, true, 8);
  Begin();
  const Rect rect = {2, 3, 7, 11};
  EXPECT_EQ(DuringStart([&](FilterRecord* record) {
              SetRequest(record, rect, 1, 3);
              record->outLoPlane = 0;
              record->outHiPlane = 2;
              ASSERT_EQ(record->advanceState(), noErr);
              EXPECT_EQ(record->inRowBytes, 8 * 3 + 3);
              EXPECT_EQ(record->inColumnBytes, 3);
              EXPECT_EQ(record->inPlaneBytes, 1);
              EXPECT_EQ(record->outRowBytes, 8 * 3 + 3);
              ExpectDelivered(image, record->inData, record->inRowBytes, 3, rect, 1, 3);
              ExpectDelivered(image, record->outData, record->outRowBytes, 3, rect, 0, 2);
              EXPECT_EQ(record->maskData, nullptr);
            }),
            noErr);
  ASSERT_EQ(session->log.advances.size(), 1u);
  const AdvanceCall& call = session->log.advances[0];
  EXPECT_EQ(call.inRect.right, 11);
  EXPECT_EQ(call.inLoPlane, 1);
  EXPECT_EQ(call.outHiPlane, 2);
  EXPECT_FALSE(call.byHost);
}

TEST_F(HostBuffers, DeliversSixteenBitSamplesOnTheHostScale) {
  Open();
  Make(9, 4, 1, false, 16);
  Begin();
  DuringStart([&](FilterRecord* record) {
    EXPECT_EQ(record->imageMode, plugInModeGray16);
    EXPECT_EQ(record->depth, 16);
    SetRequest(record, record->filterRect, 0, 0);
    ASSERT_EQ(record->advanceState(), noErr);
    EXPECT_EQ(record->inColumnBytes, 2);
    ExpectDelivered(image, record->inData, record->inRowBytes, 2, record->filterRect, 0, 0);
  });
  EXPECT_EQ(GetSample(image, 8, 3, 0), kHostSampleMax16);  // the gradient's far corner
}

TEST_F(HostBuffers, RefusesRequestsTheImageCannotAnswer) {
  Open();
  Make(10, 8, 3, true, 8);
  Begin();
  DuringStart([&](FilterRecord* record) {
    SetRequest(record, Rect{0, 0, 9, 10}, 0, 3);  // one row too many, no padding asked for
    EXPECT_EQ(record->advanceState(), filterBadParameters);
    EXPECT_EQ(record->inData, nullptr);
    EXPECT_EQ(record->outData, nullptr);
    SetRequest(record, Rect{0, 0, 8, 10}, 0, 4);  // five planes of four
    EXPECT_EQ(record->advanceState(), filterBadParameters);
    SetRequest(record, Rect{0, 0, 8, 10}, 2, 1);
    EXPECT_EQ(record->advanceState(), filterBadParameters);
    SetRequest(record, Rect{5, 0, 4, 10}, 0, 3);  // upside down
    EXPECT_EQ(record->advanceState(), filterBadParameters);
    SetRequest(record, Rect{0, 0, 8, 10}, 0, 3);
    record->inputRate = 2 << 16;
    EXPECT_EQ(record->advanceState(), filterBadParameters);
    record->inputRate = 1 << 16;
    EXPECT_EQ(record->advanceState(), noErr);
    EXPECT_NE(record->inData, nullptr);
  });
}

TEST_F(HostBuffers, PadsOutsideTheImageOnlyAsAsked) {
  Open();
  Make(6, 5, 1, false, 8);
  Begin();
  DuringStart([&](FilterRecord* record) {
    SetRequest(record, Rect{-1, -1, 2, 2}, 0, 0);
    record->inputPadding = record->outputPadding = 255;
    ASSERT_EQ(record->advanceState(), noErr);
    EXPECT_EQ(BufferSample(record->inData, record->inRowBytes, 1, 1, 0, 0, 0), 255);
    EXPECT_EQ(BufferSample(record->inData, record->inRowBytes, 1, 1, 1, 1, 0), GetSample(image, 0, 0, 0));
    record->inputPadding = record->outputPadding = -1;  // edge replication
    ASSERT_EQ(record->advanceState(), noErr);
    EXPECT_EQ(BufferSample(record->inData, record->inRowBytes, 1, 1, 0, 2, 0), GetSample(image, 1, 0, 0));
  });
}

TEST_F(HostBuffers, WritesOutputBackAfterContinueAndOnlyThere) {
  Open();
  Make(12, 9, 3, false, 8);
  FakeBehaviour() = [](const FakeCall& call) {
    FilterRecord* record = call.filter();
    if (call.selector == filterSelectorStart) {
      SetRequest(record, record->filterRect, 0, 2);
      *call.result = record->advanceState();
    } else if (call.selector == filterSelectorContinue) {
      FillOutput(record, 77);
      EmptyRequest(record);
    }
  };
  HostRunOptions run;
  run.filterRect = {2, 3, 6, 8};
  HostRunReport report = RunFilter(session, &image, run);
  ASSERT_EQ(report.result, noErr) << report.error;
  ASSERT_EQ(report.calls.size(), 4u);
  EXPECT_EQ(report.calls[3].selector, filterSelectorFinish);
  for (int32_t y = 0; y < image.height; ++y)
    for (int32_t x = 0; x < image.width; ++x) {
      bool inside = y >= 2 && y < 6 && x >= 3 && x < 8;
      EXPECT_EQ(GetSample(image, x, y, 1), inside ? 77 : GetSample(original, x, y, 1)) << x << "," << y;
    }
}

TEST_F(HostBuffers, DropsTheOutputOfAFailedContinueButStillFinishes) {
  Open();
  Make(12, 9, 3, false, 8);
  FakeBehaviour() = [](const FakeCall& call) {
    FilterRecord* record = call.filter();
    if (call.selector == filterSelectorStart) SetRequest(record, record->filterRect, 0, 2);
    if (call.selector == filterSelectorContinue) {
      FillOutput(record, 77);
      *call.result = userCanceledErr;
    }
  };
  HostRunReport report = RunFilter(session, &image, HostRunOptions{});
  EXPECT_EQ(report.result, userCanceledErr);
  ASSERT_EQ(report.calls.size(), 4u);
  EXPECT_EQ(report.calls[2].result, userCanceledErr);
  EXPECT_EQ(report.calls[3].selector, filterSelectorFinish);
  ASSERT_EQ(report.advances.size(), 1u);
  EXPECT_TRUE(report.advances[0].byHost);  // the plug-in never called advanceState itself
  EXPECT_EQ(image.pixels, original.pixels);
}

TEST_F(HostBuffers, NoFinishAfterAFailedStart) {
  Open();
  Make(4, 4, 1, false, 8);
  FakeBehaviour() = [](const FakeCall& call) {
    if (call.selector == filterSelectorStart) *call.result = filterBadParameters;
  };
  HostRunReport report = RunFilter(session, &image, HostRunOptions{});
  ASSERT_EQ(report.calls.size(), 2u);
  EXPECT_EQ(report.calls[1].selector, filterSelectorStart);
  EXPECT_EQ(report.result, filterBadParameters);
}

TEST_F(HostBuffers, ContinuesRowByRowUntilTheRequestIsEmpty) {
  Open();
  Make(5, 7, 1, false, 8);
  FakeBehaviour() = [](const FakeCall& call) {
    FilterRecord* record = call.filter();
    if (call.selector == filterSelectorStart) SetRequest(record, Rect{0, 0, 1, 5}, 0, 0);
    if (call.selector != filterSelectorContinue) return;
    FillOutput(record, static_cast<uint8_t>(100 + record->outRect.top));
    int16_t next = static_cast<int16_t>(record->outRect.top + 1);
    if (next == record->imageSize.v) {
      EmptyRequest(record);
    } else {
      SetRequest(record, Rect{next, 0, static_cast<int16_t>(next + 1), 5}, 0, 0);
    }
  };
  HostRunReport report = RunFilter(session, &image, HostRunOptions{});
  ASSERT_EQ(report.result, noErr);
  EXPECT_EQ(report.calls.size(), 2u + 7u + 1u);
  EXPECT_EQ(report.advances.size(), 7u);
  for (int32_t y = 0; y < 7; ++y) EXPECT_EQ(GetSample(image, 4, y, 0), 100 + y);
}

TEST_F(HostBuffers, StopsAPlugInThatNeverEmptiesItsRequest) {
  Open();
  Make(5, 7, 1, false, 8);
  FakeBehaviour() = [](const FakeCall& call) {
    if (call.selector == filterSelectorStart) SetRequest(call.filter(), Rect{0, 0, 1, 1}, 0, 0);
  };
  HostRunOptions run;
  run.maxContinueCalls = 5;
  HostRunReport report = RunFilter(session, &image, run);
  EXPECT_TRUE(report.continueCapped);
  EXPECT_EQ(report.calls.size(), 2u + 5u + 1u);
}

TEST_F(HostBuffers, CountsRowsWhosePaddingTheOutputOverran) {
  HostOptions options;
  options.rowPaddingBytes = 4;
  Open(options);
  Make(6, 3, 3, false, 8);
  FakeBehaviour() = [](const FakeCall& call) {
    FilterRecord* record = call.filter();
    if (call.selector == filterSelectorStart) SetRequest(record, record->filterRect, 0, 2);
    if (call.selector == filterSelectorContinue) {
      uint8_t* out = static_cast<uint8_t*>(record->outData);
      out[6 * 3] = 1;                          // row 0, one byte past its pixels
      out[2 * record->outRowBytes + 6 * 3] = 1;  // row 2
      EmptyRequest(record);
    }
  };
  RunFilter(session, &image, HostRunOptions{});
  EXPECT_EQ(session->log.rowPaddingDamaged, 2);
}

TEST_F(HostBuffers, OldHostsLeaveColumnAndPlaneBytesZero) {
  HostOptions options;
  options.zeroColumnBytes = true;
  Open(options);
  Make(6, 3, 3, false, 8);
  Begin();
  DuringStart([&](FilterRecord* record) {
    SetRequest(record, record->filterRect, 0, 2);
    ASSERT_EQ(record->advanceState(), noErr);
    EXPECT_EQ(record->inColumnBytes, 0);
    EXPECT_EQ(record->outColumnBytes, 0);
    EXPECT_EQ(record->inPlaneBytes, 0);
    EXPECT_EQ(record->inRowBytes, 18);
  });
}

TEST_F(HostBuffers, TransparencyCountedOrOfferedAfterTheColourPlanes) {
  HostOptions options;
  options.alphaReport = AlphaReport::AfterPlanes;
  Open(options);
  Make(6, 3, 3, true, 8);
  Begin();
  DuringStart([&](FilterRecord* record) {
    EXPECT_EQ(record->planes, 3);
    EXPECT_EQ(record->inTransparencyMask, 1);
    EXPECT_EQ(record->inLayerPlanes, 3);
    SetRequest(record, record->filterRect, 0, 3);  // the plane after the counted ones
    ASSERT_EQ(record->advanceState(), noErr);
    ExpectDelivered(image, record->inData, record->inRowBytes, 4, record->filterRect, 0, 3);
  });
  EndRun(session);
  CloseSession(session);
  session = nullptr;
  Open();
  Begin();
  DuringStart([](FilterRecord* record) {
    EXPECT_EQ(record->planes, 4);
    EXPECT_EQ(record->inTransparencyMask, 1);
  });
}
