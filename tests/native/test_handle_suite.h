// A small host handle suite for the unit tests: a handle is a block whose
// first word points at the data, as in real hosts, and new handles are full
// of garbage, as a host's memory may be.
#pragma once

#include <cstdlib>
#include <cstring>

#include "host/host_api.h"

inline int hostHandlesMade = 0;
inline int hostHandlesLocked = 0;
inline int hostHandlesUnlocked = 0;
inline int hostHandlesDisposed = 0;
inline int hostAllocationsLeft = -1;
inline Handle PI_CALL HostNew(int32_t size) {
  if (hostAllocationsLeft == 0) return nullptr;
  if (hostAllocationsLeft > 0) --hostAllocationsLeft;
  auto* handle = static_cast<char**>(std::malloc(sizeof(char*)));
  *handle = static_cast<char*>(std::malloc(static_cast<size_t>(size)));
  std::memset(*handle, 0xA5, static_cast<size_t>(size));
  ++hostHandlesMade;
  return handle;
}
inline void PI_CALL HostDispose(Handle handle) {
  ++hostHandlesDisposed;
  std::free(*handle);
  std::free(handle);
}
inline int32_t PI_CALL HostGetSize(Handle) { return 0; }
inline OSErr PI_CALL HostSetSize(Handle, int32_t) { return 0; }
inline Ptr PI_CALL HostLock(Handle handle, Boolean) {
  ++hostHandlesLocked;
  return *handle;
}
inline void PI_CALL HostUnlock(Handle) { ++hostHandlesUnlocked; }

inline HandleProcs HostProcs() {
  HandleProcs procs{};
  procs.handleProcsVersion = 1;
  procs.numHandleProcs = 8;
  procs.newProc = HostNew;
  procs.disposeProc = HostDispose;
  procs.getSizeProc = HostGetSize;
  procs.setSizeProc = HostSetSize;
  procs.lockProc = HostLock;
  procs.unlockProc = HostUnlock;
  return procs;
}
