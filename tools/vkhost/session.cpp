// The session: what the host keeps for one plug-in between calls and runs.
#include <cstring>

#include "tools/vkhost/host_internal.h"

namespace {

// Whether `size` bytes at `address` can be read, asked of the memory manager
// rather than learnt from a fault.
bool Readable(const void* address, size_t size) {
  const char* at = static_cast<const char*>(address);
  const char* end = at + size;
  while (at < end) {
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery(at, &info, sizeof info) == 0 || info.State != MEM_COMMIT) return false;
    if ((info.Protect & (PAGE_NOACCESS | PAGE_GUARD)) != 0) return false;
    at = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
  }
  return true;
}

// The plug-in's own handle shape: the first word addresses the data. Its size
// is known only when the data is a global memory block.
bool ReadForeignHandle(Handle handle, std::vector<uint8_t>* bytes, int32_t fallbackSize) {
  if (!Readable(handle, sizeof *handle)) return false;
  const char* data = *handle;
  if (data == nullptr || !Readable(data, 1)) return false;
  HGLOBAL block = GlobalHandle(data);
  SIZE_T size = block != nullptr ? GlobalSize(block) : 0;
  if (size == 0) size = static_cast<SIZE_T>(fallbackSize > 0 ? fallbackSize : 0);
  if (!Readable(data, size)) return false;
  bytes->assign(data, data + size);
  return true;
}

}  // namespace

HostSession* OpenSession(PluginEntryProc entry, const HostOptions& options, std::string* error) {
  if (entry == nullptr) {
    if (error != nullptr) *error = "no plug-in entry point";
    return nullptr;
  }
  HostSession* session = new HostSession();
  session->entry = entry;
  session->options = options;
  session->internals = new HostInternals();
  HostInternals* internals = session->internals;
  FillHandleProcs(internals, options.handles);
  FillDescriptorProcs(internals, options.descriptors);
  if (!options.nullWindow && !CreateHostWindow(internals, options.messageOnlyWindow, error)) {
    delete internals;
    delete session;
    return nullptr;
  }
  internals->platform.hwnd = reinterpret_cast<intptr_t>(internals->window);
  if (options.staleWindow) internals->platform.hwnd = StaleWindowHandle();
  HideCommonControls(session);
  return session;
}

void CloseSession(HostSession* session) {
  if (session == nullptr) return;
  EndRun(session);
  // The plug-in's own blocks (its globals, a parameters handle of its own)
  // are its business; a host forgets them with the module.
  FreeHostCopies(session);
  FreeStaleMemory(session);
  RestoreCommonControls(session);
  FreeAllSuiteHandles(session->internals);
  session->parameters = nullptr;
  session->data = 0;
  DestroyHostWindow(session->internals);
  if (CurrentSession() == session) SetCurrentSession(nullptr);
  delete session->internals;
  delete session;
}

bool SetParameters(HostSession* session, const void* bytes, int32_t size) {
  SuiteHandle* handle = MakeSuiteHandle(session->internals, size, false);
  if (handle == nullptr) return false;
  if (size > 0) std::memcpy(handle->data, bytes, static_cast<size_t>(size));
  SuiteHandle* old = FindSuiteHandle(session->internals, session->parameters);
  if (old != nullptr) FreeSuiteHandle(session->internals, old);
  session->parameters = reinterpret_cast<Handle>(handle);
  if (session->record != nullptr) session->record->parameters = session->parameters;
  return true;
}

bool ReadParameters(const HostSession* session, std::vector<uint8_t>* bytes, int32_t fallbackSize) {
  bytes->clear();
  if (session->parameters == nullptr) return false;
  const SuiteHandle* own = FindSuiteHandle(session->internals, session->parameters);
  if (own != nullptr) {
    bytes->assign(own->data, own->data + own->size);
    return true;
  }
  return ReadForeignHandle(session->parameters, bytes, fallbackSize);
}

int32_t LiveHandleCount(const HostSession* session) {
  return static_cast<int32_t>(session->internals->handles.size());
}

void ClearLog(HostSession* session) { session->log = HostLog(); }

void RequestAbort(HostSession* session) {
  if (session != nullptr) InterlockedExchange(&session->internals->abortRequested, 1);
}
