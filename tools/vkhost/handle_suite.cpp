// The host's handle suite. It tracks every handle it makes; a handle it did
// not make is counted and otherwise ignored, never dereferenced.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "tools/vkhost/host_internal.h"

namespace {

constexpr uint8_t kDirtyByte = 0xCD;

HostInternals* CurrentInternals() {
  HostSession* session = CurrentSession();
  return session != nullptr ? session->internals : nullptr;
}

// The suite's handle behind `handle`, or null after counting a foreign one.
SuiteHandle* Resolve(Handle handle) {
  HostSession* session = CurrentSession();
  if (session == nullptr) return nullptr;
  SuiteHandle* found = FindSuiteHandle(session->internals, handle);
  if (found == nullptr) ++session->log.foreignHandleCalls;
  return found;
}

char* AllocData(int32_t size, bool dirty) {
  char* data = static_cast<char*>(std::malloc(size > 0 ? static_cast<size_t>(size) : 1));
  if (data != nullptr) std::memset(data, dirty ? kDirtyByte : 0, size > 0 ? static_cast<size_t>(size) : 1);
  return data;
}

Handle PI_CALL SuiteNew(int32_t size) {
  HostSession* session = CurrentSession();
  if (session == nullptr || size < 0) return nullptr;
  const HandleSuiteOptions& options = session->options.handles;
  HostInternals* internals = session->internals;
  if (options.refuseNewAfter >= 0 && internals->newProcCalls >= options.refuseNewAfter) return nullptr;
  SuiteHandle* handle = MakeSuiteHandle(internals, size, options.dirtyMemory);
  if (handle == nullptr) return nullptr;
  ++internals->newProcCalls;
  return reinterpret_cast<Handle>(handle);
}

void PI_CALL SuiteDispose(Handle handle) {
  if (handle == nullptr) return;
  SuiteHandle* found = Resolve(handle);
  if (found == nullptr || CurrentSession()->options.handles.disposeDoesNothing) return;
  FreeSuiteHandle(CurrentInternals(), found);
}

int32_t PI_CALL SuiteGetSize(Handle handle) {
  SuiteHandle* found = handle != nullptr ? Resolve(handle) : nullptr;
  if (found == nullptr || CurrentSession()->options.handles.sizeAnswersZero) return 0;
  return found->size;
}

// Moves the data like moveable memory does: the handle stays, its first word changes.
OSErr PI_CALL SuiteSetSize(Handle handle, int32_t newSize) {
  if (handle == nullptr) return kNilHandleErr;
  SuiteHandle* found = Resolve(handle);
  if (found == nullptr || newSize < 0) return kParamErr;
  char* data = AllocData(newSize, CurrentSession()->options.handles.dirtyMemory);
  if (data == nullptr) return memFullErr;
  std::memcpy(data, found->data, static_cast<size_t>(std::min(found->size, newSize)));
  std::free(found->data);
  found->data = data;
  found->size = newSize;
  return noErr;
}

Ptr PI_CALL SuiteLock(Handle handle, Boolean /*moveHigh*/) {
  SuiteHandle* found = handle != nullptr ? Resolve(handle) : nullptr;
  if (found == nullptr) return nullptr;
  ++found->locks;
  return found->data;
}

void PI_CALL SuiteUnlock(Handle handle) {
  SuiteHandle* found = handle != nullptr ? Resolve(handle) : nullptr;
  if (found != nullptr && found->locks > 0) --found->locks;
}

void PI_CALL SuiteRecoverSpace(int32_t /*size*/) {}

// A handle the plug-in got elsewhere: ours are freed, others only counted.
void PI_CALL SuiteDisposeRegular(Handle handle) { SuiteDispose(handle); }

}  // namespace

void FillHandleProcs(HostInternals* internals, const HandleSuiteOptions& options) {
  HandleProcs& procs = internals->offeredProcs;
  procs.handleProcsVersion = options.version;
  procs.numHandleProcs = options.count;
  procs.newProc = SuiteNew;
  procs.disposeProc = SuiteDispose;
  procs.getSizeProc = SuiteGetSize;
  procs.setSizeProc = SuiteSetSize;
  procs.lockProc = SuiteLock;
  procs.unlockProc = SuiteUnlock;
  procs.recoverSpaceProc = SuiteRecoverSpace;
  procs.disposeRegularHandleProc = SuiteDisposeRegular;
  if (options.garbageAfter) {
    procs.numHandleProcs = 0x7FFF;
    std::memset(internals->afterProcs, 0xCC, sizeof internals->afterProcs);
  }
  switch (options.nullProc) {
    case 0: procs.newProc = nullptr; break;
    case 1: procs.disposeProc = nullptr; break;
    case 2: procs.getSizeProc = nullptr; break;
    case 3: procs.setSizeProc = nullptr; break;
    case 4: procs.lockProc = nullptr; break;
    case 5: procs.unlockProc = nullptr; break;
    case 6: procs.recoverSpaceProc = nullptr; break;
    case 7: procs.disposeRegularHandleProc = nullptr; break;
    default: break;
  }
}

SuiteHandle* MakeSuiteHandle(HostInternals* internals, int32_t size, bool dirty) {
  if (size < 0) return nullptr;
  SuiteHandle* handle = static_cast<SuiteHandle*>(std::malloc(sizeof(SuiteHandle)));
  if (handle == nullptr) return nullptr;
  handle->data = AllocData(size, dirty);
  if (handle->data == nullptr) {
    std::free(handle);
    return nullptr;
  }
  handle->size = size;
  handle->locks = 0;
  handle->descriptor = kNotDescriptor;
  internals->handles.push_back(handle);
  return handle;
}

SuiteHandle* FindSuiteHandle(const HostInternals* internals, Handle handle) {
  for (SuiteHandle* candidate : internals->handles)
    if (reinterpret_cast<Handle>(candidate) == handle) return candidate;
  return nullptr;
}

void FreeSuiteHandle(HostInternals* internals, SuiteHandle* handle) {
  auto& handles = internals->handles;
  handles.erase(std::remove(handles.begin(), handles.end(), handle), handles.end());
  std::free(handle->data);
  std::free(handle);
}

void FreeAllSuiteHandles(HostInternals* internals) {
  while (!internals->handles.empty()) FreeSuiteHandle(internals, internals->handles.back());
}
