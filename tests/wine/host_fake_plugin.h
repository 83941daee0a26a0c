// A stand-in plug-in whose behaviour each test writes, so that the host can
// be tested on its own, against calls we control.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tools/vkhost/host.h"

struct FakeCall {
  int16_t selector;
  void* record;  // FilterRecord, or AboutRecord for selector 0
  intptr_t* data;
  int16_t* result;
  FilterRecord* filter() const { return static_cast<FilterRecord*>(record); }
};

inline std::function<void(const FakeCall&)>& FakeBehaviour() {
  static std::function<void(const FakeCall&)> behaviour;
  return behaviour;
}

// Leaves the result word as the host set it unless the behaviour writes it.
inline void PI_CALL FakeEntry(int16_t selector, void* record, intptr_t* data, int16_t* result) {
  if (FakeBehaviour()) FakeBehaviour()({selector, record, data, result});
}

class HostFixture : public ::testing::Test {
 protected:
  void TearDown() override {
    if (session != nullptr) CloseSession(session);
    FakeBehaviour() = nullptr;
  }

  void Open(const HostOptions& options = HostOptions{}) {
    std::string error;
    session = OpenSession(FakeEntry, options, &error);
    ASSERT_NE(session, nullptr) << error;
  }

  // A gradient document of the given shape.
  void Make(int32_t width, int32_t height, int32_t colorPlanes, bool hasAlpha, int32_t depth) {
    ASSERT_TRUE(MakeImage(&image, width, height, colorPlanes, hasAlpha, depth));
    FillGradient(&image);
    original = image;
  }

  void Begin(const Rect& filterRect = Rect{0, 0, 0, 0}) {
    std::string error;
    ASSERT_TRUE(BeginRun(session, &image, filterRect, &error)) << error;
  }

  // Runs `onStart` inside Start, with the record, and returns its result.
  int16_t DuringStart(const std::function<void(FilterRecord*)>& onStart) {
    FakeBehaviour() = [onStart](const FakeCall& call) {
      if (call.selector == filterSelectorStart) onStart(call.filter());
    };
    return CallPluginMain(session, filterSelectorStart);
  }

  HostSession* session = nullptr;
  HostImage image;
  HostImage original;
};

inline void SetRequest(FilterRecord* record, const Rect& rect, int16_t loPlane, int16_t hiPlane) {
  record->inRect = record->outRect = rect;
  record->inLoPlane = record->outLoPlane = loPlane;
  record->inHiPlane = record->outHiPlane = hiPlane;
}

inline void EmptyRequest(FilterRecord* record) {
  record->inRect = record->outRect = record->maskRect = Rect{0, 0, 0, 0};
}

inline uint16_t BufferSample(const void* data, int32_t rowBytes, int32_t columnBytes, int32_t bytesPerSample,
                             int32_t row, int32_t column, int32_t plane) {
  const uint8_t* at = static_cast<const uint8_t*>(data) + row * rowBytes + column * columnBytes + plane * bytesPerSample;
  if (bytesPerSample == 1) return *at;
  return static_cast<uint16_t>(at[0] | at[1] << 8);
}
