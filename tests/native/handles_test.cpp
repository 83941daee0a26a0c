#include <gtest/gtest.h>

#include <cstring>

#include "host/handles.h"
#include "host/platform.h"
#include "host/platform_testing.h"
#include "tests/native/test_handle_suite.h"

TEST(HandleProcsUsable, AcceptsOnlyACompleteVersionOneTable) {
  HandleProcs procs = HostProcs();
  EXPECT_TRUE(HandleProcsUsable(&procs));
  procs.numHandleProcs = 7;
  EXPECT_TRUE(HandleProcsUsable(&procs));
  procs.numHandleProcs = 6;
  EXPECT_FALSE(HandleProcsUsable(&procs));
  procs.numHandleProcs = static_cast<int16_t>(0x8000);  // negative as signed: still "many"
  EXPECT_TRUE(HandleProcsUsable(&procs));
  procs.numHandleProcs = -1;
  EXPECT_TRUE(HandleProcsUsable(&procs));

  procs = HostProcs();
  procs.handleProcsVersion = 2;
  EXPECT_FALSE(HandleProcsUsable(&procs));
  procs.handleProcsVersion = 0;
  EXPECT_FALSE(HandleProcsUsable(&procs));
  EXPECT_FALSE(HandleProcsUsable(nullptr));
}

TEST(HandleProcsUsable, RejectsATableWithAnyNullProcWeMayCall) {
  for (int slot = 0; slot < 6; ++slot) {
    HandleProcs procs = HostProcs();
    void** procSlots = reinterpret_cast<void**>(&procs.newProc);
    procSlots[slot] = nullptr;
    EXPECT_FALSE(HandleProcsUsable(&procs)) << "null proc in slot " << slot;
  }
}

TEST(FallbackHandle, HoldsItsDataAddressThenTheTag) {
  Handle handle = NewFallbackHandle(4);
  ASSERT_NE(handle, nullptr);
  auto* record = reinterpret_cast<FallbackHandle*>(handle);
  // The bytes a host checks: the data address, then "OTOF" right after it.
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(handle);
  EXPECT_EQ(std::memcmp(bytes + sizeof(void*), "OTOF", 4), 0);
  ASSERT_NE(record->data, nullptr);
  EXPECT_EQ(*handle, static_cast<char*>(record->data));  // a host may dereference it as a Handle
  const char zeros[4] = {0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(record->data, zeros, 4), 0);

  // Locking a fallback handle always yields the same address; unlocking changes nothing.
  Ptr first = LockPluginHandle(nullptr, handle, true);
  UnlockPluginHandle(nullptr, handle);
  EXPECT_EQ(LockPluginHandle(nullptr, handle, false), first);
  EXPECT_EQ(first, record->data);
  DisposeFallbackHandle(handle);
}

TEST(FallbackHandle, ReleasesEverythingAndToleratesPartialRecords) {
  const int before = LiveLockedBlocks();
  Handle handle = NewFallbackHandle(100);
  EXPECT_EQ(LiveLockedBlocks(), before + 2);
  DisposeFallbackHandle(handle);
  EXPECT_EQ(LiveLockedBlocks(), before);

  handle = NewFallbackHandle(8);
  auto* record = reinterpret_cast<FallbackHandle*>(handle);
  FreeLockedBlock(record->data);
  record->data = nullptr;
  DisposeFallbackHandle(handle);  // frees the record only
  EXPECT_EQ(LiveLockedBlocks(), before);
  DisposeFallbackHandle(nullptr);
}

TEST(FallbackHandle, RefusedMemoryLeavesNothingBehind) {
  const int before = LiveLockedBlocks();
  RefuseMemoryAfter(0);
  EXPECT_EQ(NewFallbackHandle(4), nullptr);
  RefuseMemoryAfter(1);  // the record succeeds, its data block is refused
  EXPECT_EQ(NewFallbackHandle(4), nullptr);
  RefuseMemoryAfter(-1);
  EXPECT_EQ(LiveLockedBlocks(), before);
  void* block = NewLockedBlock(16);
  EXPECT_NE(block, nullptr);
  FreeLockedBlock(block);
}

TEST(SetHostRect, StoresTopLeftBottomRight) {
  Rect rect{1, 2, 3, 4};
  EXPECT_TRUE(SetHostRect(&rect, 20, 10, 220, 110));
  EXPECT_EQ(rect.top, 10);
  EXPECT_EQ(rect.left, 20);
  EXPECT_EQ(rect.bottom, 110);
  EXPECT_EQ(rect.right, 220);
  EXPECT_FALSE(SetHostRect(nullptr, 0, 0, 0, 0));
}
