#include "host/handles.h"

#include "host/platform.h"

bool HandleProcsUsable(const HandleProcs* procs) {
  if (procs == nullptr) return false;
  if (procs->handleProcsVersion != kHandleProcsVersion) return false;
  if (static_cast<uint16_t>(procs->numHandleProcs) < kMinHandleProcsCount) return false;
  // A count of 7 promises lock and unlock too, but a damaged table may still
  // hold nulls there, and we never call a null proc.
  return procs->newProc != nullptr && procs->disposeProc != nullptr &&
         procs->getSizeProc != nullptr && procs->setSizeProc != nullptr &&
         procs->lockProc != nullptr && procs->unlockProc != nullptr;
}

Handle NewPluginHandle(const HandleProcs* procs, int32_t size) {
  if (HandleProcsUsable(procs)) return procs->newProc(size);
  return NewFallbackHandle(size);
}

void DisposePluginHandle(const HandleProcs* procs, Handle handle) {
  if (HandleProcsUsable(procs)) {
    procs->disposeProc(handle);
  } else {
    DisposeFallbackHandle(handle);
  }
}

Ptr LockPluginHandle(const HandleProcs* procs, Handle handle, Boolean moveHigh) {
  if (HandleProcsUsable(procs)) return procs->lockProc(handle, moveHigh);
  if (handle == nullptr) return nullptr;
  return static_cast<Ptr>(reinterpret_cast<FallbackHandle*>(handle)->data);
}

void UnlockPluginHandle(const HandleProcs* procs, Handle handle) {
  // A fallback handle stays locked for its whole life.
  if (HandleProcsUsable(procs)) procs->unlockProc(handle);
}

Handle NewFallbackHandle(int32_t size) {
  if (size < 0) return nullptr;
  auto* record = static_cast<FallbackHandle*>(AllocLockedBlock(sizeof(FallbackHandle)));
  if (record == nullptr) return nullptr;
  record->data = AllocLockedBlock(static_cast<size_t>(size));
  if (record->data == nullptr) {
    FreeLockedBlock(record);
    return nullptr;
  }
  record->tag = kFallbackHandleTag;
  return reinterpret_cast<Handle>(record);
}

void DisposeFallbackHandle(Handle handle) {
  if (handle == nullptr) return;
  auto* record = reinterpret_cast<FallbackHandle*>(handle);
  if (record->data != nullptr) FreeLockedBlock(record->data);
  FreeLockedBlock(record);
}

void* NewLockedBlock(size_t size) { return AllocLockedBlock(size); }

bool SetHostRect(Rect* rect, int16_t left, int16_t top, int16_t right, int16_t bottom) {
  if (rect == nullptr) return false;
  rect->top = top;
  rect->left = left;
  rect->bottom = bottom;
  rect->right = right;
  return true;
}
