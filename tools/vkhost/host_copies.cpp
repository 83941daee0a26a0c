// Hosts that keep the plug-in's data word and parameters with the document
// and hand back copies of them in fresh memory, not the blocks the plug-in
// made. The plug-in must find everything it needs in the copies.
#include <cstring>

#include "tools/vkhost/host_internal.h"

namespace {

// A block the host can free again, GlobalHandle and GlobalSize included.
void* FreshBlock(const void* bytes, size_t size) {
  HGLOBAL block = GlobalAlloc(GMEM_FIXED, size > 0 ? size : 1);
  if (block == nullptr) return nullptr;
  void* address = GlobalLock(block);
  if (size > 0) std::memcpy(address, bytes, size);
  return address;
}

void FreeBlock(void* address) {
  if (address == nullptr) return;
  HGLOBAL block = GlobalHandle(address);
  if (block != nullptr) GlobalFree(block);
}

// The plug-in's shape of a handle: the first word addresses the data, the
// tag follows; both made fresh.
Handle FreshPluginShapedHandle(const std::vector<uint8_t>& data, uint32_t tag) {
  void* copy = FreshBlock(data.data(), data.size());
  if (copy == nullptr) return nullptr;
  struct Shape {
    void* data;
    uint32_t tag;
  } shape = {copy, tag};
  void* record = FreshBlock(&shape, sizeof shape);
  if (record == nullptr) FreeBlock(copy);
  return static_cast<Handle>(record);
}

void FreePluginShapedHandle(Handle handle) {
  if (handle == nullptr) return;
  FreeBlock(*handle);
  FreeBlock(handle);
}

}  // namespace

void CopyDataWord(HostSession* session) {
  HostInternals* internals = session->internals;
  if (session->data == 0) return;
  SuiteHandle* own = FindSuiteHandle(internals, reinterpret_cast<Handle>(session->data));
  if (own != nullptr) {
    SuiteHandle* copy = MakeSuiteHandle(internals, own->size, false);
    if (copy == nullptr) return;
    std::memcpy(copy->data, own->data, static_cast<size_t>(own->size));
    FreeSuiteHandle(internals, own);
    session->data = reinterpret_cast<intptr_t>(copy);
    return;
  }
  void* block = reinterpret_cast<void*>(session->data);
  HGLOBAL global = GlobalHandle(block);
  const SIZE_T size = global != nullptr ? GlobalSize(global) : 0;
  if (size == 0) return;  // not a block the host can size: left alone
  void* copy = FreshBlock(block, size);
  if (copy == nullptr) return;
  // Wiped before it goes, so that a plug-in still holding the old address
  // reads garbage rather than its old values.
  if (block == internals->dataCopy) {
    std::memset(block, 0xDD, size);
    FreeBlock(block);
  }
  internals->dataCopy = copy;
  session->data = reinterpret_cast<intptr_t>(copy);
}

void CopyParameters(HostSession* session) {
  HostInternals* internals = session->internals;
  std::vector<uint8_t> bytes;
  if (session->parameters == nullptr || !ReadParameters(session, &bytes)) return;
  SuiteHandle* own = FindSuiteHandle(internals, session->parameters);
  if (own != nullptr) {
    SetParameters(session, bytes.data(), static_cast<int32_t>(bytes.size()));
    return;
  }
  uint32_t tag = 0;
  std::memcpy(&tag, reinterpret_cast<const char*>(session->parameters) + sizeof(void*), sizeof tag);
  Handle copy = FreshPluginShapedHandle(bytes, tag);
  if (copy == nullptr) return;
  if (session->parameters == internals->parametersCopy) {
    std::memset(*session->parameters, 0xDD, bytes.size());
    FreePluginShapedHandle(session->parameters);
  }
  internals->parametersCopy = copy;
  session->parameters = copy;
}

void FreeHostCopies(HostSession* session) {
  HostInternals* internals = session->internals;
  if (internals->dataCopy != nullptr && reinterpret_cast<intptr_t>(internals->dataCopy) == session->data) {
    FreeBlock(internals->dataCopy);
    session->data = 0;
  }
  if (internals->parametersCopy != nullptr && internals->parametersCopy == session->parameters) {
    FreePluginShapedHandle(internals->parametersCopy);
    session->parameters = nullptr;
  }
  internals->dataCopy = nullptr;
  internals->parametersCopy = nullptr;
}
