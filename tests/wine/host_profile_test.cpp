// Our host's profiles of the hosts users have, as a stand-in plug-in sees
// them: partial hosts' colours, forgotten parameters and skipped steps, and a
// floating-point state with exceptions unmasked.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "tests/wine/host_fake_plugin.h"

namespace {

class HostProfiles : public HostFixture {
 protected:
  void OpenProfile(const char* name, HostOptions options = HostOptions{}) {
    ASSERT_TRUE(ApplyHostProfile(name, &options));
    Open(options);
    Make(4, 4, 1, false, 8);
  }
};

uint16_t X87Control() {
  uint16_t control;
  __asm__ volatile("fnstcw %0" : "=m"(control));
  return control;
}

uint32_t Mxcsr() {
  uint32_t mxcsr;
  __asm__ volatile("stmxcsr %0" : "=m"(mxcsr));
  return mxcsr;
}

}  // namespace

TEST_F(HostProfiles, PartialHostsGiveBytesForColoursAndKeepNothing) {
  HostOptions options;
  options.foreground = {0xFFFF, 0x8080, 0x0000};
  options.background = {0x1010, 0x2020, 0xC8C8};
  OpenProfile("partial", options);
  struct Seen {
    int16_t selector;
    Handle parameters;
    intptr_t data;
  };
  std::vector<Seen> seen;
  FakeBehaviour() = [&](const FakeCall& call) {
    if (call.selector == filterSelectorAbout) return;
    FilterRecord* record = call.filter();
    seen.push_back({call.selector, record->parameters, *call.data});
    EXPECT_EQ(record->foreground.red, 0xFF);
    EXPECT_EQ(record->foreground.green, 0x80);
    EXPECT_EQ(record->background.blue, 0xC8);
    EXPECT_EQ(record->foreColor[1], 0x80);
    EXPECT_EQ(record->backColor[2], 0xC8);  // gray image, yet the RGB bytes
    EXPECT_EQ(record->descriptorParameters, nullptr);
    EXPECT_EQ(record->handleProcs->getSizeProc(record->handleProcs->newProc(8)), 0);
    if (call.selector == filterSelectorParameters && record->parameters == nullptr) {
      record->parameters = record->handleProcs->newProc(4);
      *call.data = 77;
    }
    if (call.selector == filterSelectorStart) SetRequest(record, Rect{0, 0, 4, 4}, 0, 0);
    if (call.selector == filterSelectorContinue) {
      EXPECT_EQ(record->inColumnBytes, 0);
      EmptyRequest(record);
      *call.result = userCanceledErr;
    }
  };
  for (int run = 0; run < 2; ++run) RunFilter(session, &image, HostRunOptions{});
  // Parameters every run, nothing kept, no Finish after the failed Continue.
  const int16_t order[] = {1, 2, 3, 4};
  ASSERT_EQ(seen.size(), 8u);
  for (size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i].selector, order[i % 4]) << i;
  EXPECT_EQ(seen[4].parameters, nullptr);
  EXPECT_EQ(seen[4].data, 0);
  EXPECT_EQ(ShowAbout(session), 1);  // the stand-in leaves the preset result
}

TEST_F(HostProfiles, UnmaskedFloatingPointIsSetAroundEachCallAndFaultsAreCounted) {
  OpenProfile("unmasked-fp");
  const uint16_t ownControl = X87Control();
  const uint32_t ownMxcsr = Mxcsr();
  uint16_t controlInside = 0;
  uint32_t mxcsrInside = 0;
  volatile double zero = 0.0, quotient = 0.0;
  bool resumed = false;
  FakeBehaviour() = [&](const FakeCall&) {
    controlInside = X87Control();
    mxcsrInside = Mxcsr();
    quotient = 1.0 / zero;  // divide by zero, unmasked here
    resumed = true;
  };
  ShowAbout(session);
  EXPECT_EQ(controlInside & 0x1F3F, 0x1332);
  EXPECT_EQ(mxcsrInside & 0xFFC0, 0x1900u);
  EXPECT_TRUE(resumed);
  EXPECT_EQ(session->log.floatingPointExceptions, 1);
  EXPECT_EQ(X87Control(), ownControl);
  EXPECT_EQ(Mxcsr() & 0xFFC0, ownMxcsr & 0xFFC0);

  FakeBehaviour() = [](const FakeCall&) {
    const uint16_t masked = 0x037F;
    __asm__ volatile("fldcw %0" : : "m"(masked));
  };
  ShowAbout(session);
  EXPECT_EQ(session->log.floatingPointExceptions, 1);
  EXPECT_EQ(session->log.floatingPointStateChanged, 1);
  EXPECT_EQ(X87Control(), ownControl);
}

TEST_F(HostProfiles, UnknownProfilesAreRefused) {
  HostOptions options;
  EXPECT_FALSE(ApplyHostProfile("delphi", &options));
  EXPECT_TRUE(ApplyHostProfile("standard", &options));
  EXPECT_FALSE(options.eightBitColors || options.floatingPoint.set);
  EXPECT_TRUE(ApplyHostProfile("no-callbacks", &options));
  EXPECT_TRUE(options.noProgressProc && options.noAbortProc);
}
