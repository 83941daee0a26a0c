// The handle layer: the host's handle callbacks when it offers a usable set,
// otherwise handles of our own ("fallback handles") on moveable global memory.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/host_api.h"

// Layout of a fallback handle, fixed because hosts keep it as our parameters
// handle and recognise it by the tag and by its block holding exactly a data
// address and the tag: 8 bytes in a 32-bit process, 12 in a 64-bit one.
#pragma pack(push, 4)
struct FallbackHandle {
  void* data;    // locked, zero-filled data block
  uint32_t tag;  // kFallbackHandleTag
};
#pragma pack(pop)
static_assert(offsetof(FallbackHandle, tag) == sizeof(void*), "the tag follows the data address");
static_assert(sizeof(FallbackHandle) == sizeof(void*) + 4, "no padding after the tag");
constexpr uint32_t kFallbackHandleTag = 0x464F544F;  // 'FOTO', bytes "OTOF"
constexpr int16_t kHandleProcsVersion = 1;
constexpr uint16_t kMinHandleProcsCount = 7;

// True when the table can be used: version 1, at least 7 procs, and every
// proc we may call present. A table failing any test is not used at all.
bool HandleProcsUsable(const HandleProcs* procs);

Handle NewPluginHandle(const HandleProcs* procs, int32_t size);
void DisposePluginHandle(const HandleProcs* procs, Handle handle);
Ptr LockPluginHandle(const HandleProcs* procs, Handle handle, Boolean moveHigh);
void UnlockPluginHandle(const HandleProcs* procs, Handle handle);

// A fallback handle with `size` zero bytes of data; null when memory is refused.
Handle NewFallbackHandle(int32_t size);
void DisposeFallbackHandle(Handle handle);

// One zero-filled block, locked for good, without a handle record around it.
void* NewLockedBlock(size_t size);

// Stores the four values into `rect` (top, left, bottom, right order);
// false for a null rectangle.
bool SetHostRect(Rect* rect, int16_t left, int16_t top, int16_t right, int16_t bottom);
