#include "tools/vkhost/allocation_faults.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <set>

namespace {

typedef void*(__cdecl* MallocProc)(size_t);
typedef void*(__cdecl* CallocProc)(size_t, size_t);
typedef void*(__cdecl* ReallocProc)(void*, size_t);
typedef void(__cdecl* FreeProc)(void*);
typedef HGLOBAL(WINAPI* GlobalAllocProc)(UINT, SIZE_T);
typedef HGLOBAL(WINAPI* GlobalFreeProc)(HGLOBAL);

MallocProc realMalloc = nullptr;
CallocProc realCalloc = nullptr;
ReallocProc realRealloc = nullptr;
FreeProc realFree = nullptr;
GlobalAllocProc realGlobalAlloc = nullptr;
GlobalFreeProc realGlobalFree = nullptr;

int32_t allowed = -1;
int32_t requests = 0;
// The host's own allocations (these sets) go through its own runtime, not
// through the patched imports.
std::set<void*> heapBlocks;
std::set<HGLOBAL> globalBlocks;

bool Granted() {
  ++requests;
  if (allowed == 0) return false;
  if (allowed > 0) --allowed;
  return true;
}

void* __cdecl WatchedMalloc(size_t size) {
  if (!Granted()) return nullptr;
  void* block = realMalloc(size);
  if (block != nullptr) heapBlocks.insert(block);
  return block;
}

void* __cdecl WatchedCalloc(size_t count, size_t size) {
  if (!Granted()) return nullptr;
  void* block = realCalloc(count, size);
  if (block != nullptr) heapBlocks.insert(block);
  return block;
}

void* __cdecl WatchedRealloc(void* old, size_t size) {
  if (!Granted()) return nullptr;
  void* block = realRealloc(old, size);
  if (block != nullptr || size == 0) heapBlocks.erase(old);
  if (block != nullptr) heapBlocks.insert(block);
  return block;
}

void __cdecl WatchedFree(void* block) {
  heapBlocks.erase(block);
  realFree(block);
}

HGLOBAL WINAPI WatchedGlobalAlloc(UINT flags, SIZE_T size) {
  if (!Granted()) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  HGLOBAL block = realGlobalAlloc(flags, size);
  if (block != nullptr) globalBlocks.insert(block);
  return block;
}

HGLOBAL WINAPI WatchedGlobalFree(HGLOBAL block) {
  globalBlocks.erase(block);
  return realGlobalFree(block);
}

IMAGE_THUNK_DATA* ImportSlot(HMODULE module, const char* dll, const char* function) {
  auto* base = reinterpret_cast<uint8_t*>(module);
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (directory.VirtualAddress == 0) return nullptr;
  for (auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress); entry->Name != 0;
       ++entry) {
    if (_stricmp(reinterpret_cast<const char*>(base + entry->Name), dll) != 0) continue;
    const DWORD lookup = entry->OriginalFirstThunk != 0 ? entry->OriginalFirstThunk : entry->FirstThunk;
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + lookup);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0) return slots;
    }
  }
  return nullptr;
}

template <typename Proc>
bool Patch(HMODULE module, const char* dll, const char* function, Proc replacement, Proc* original,
           std::string* error) {
  IMAGE_THUNK_DATA* slot = ImportSlot(module, dll, function);
  if (slot == nullptr) {
    if (error != nullptr) *error = std::string("the module does not import ") + function + " from " + dll;
    return false;
  }
  DWORD protection;
  if (!VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, PAGE_READWRITE, &protection)) {
    if (error != nullptr) *error = "cannot write the import table";
    return false;
  }
  *original = reinterpret_cast<Proc>(slot->u1.Function);
  slot->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
  VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, protection, &protection);
  return true;
}

}  // namespace

bool WatchPluginAllocations(void* module, std::string* error) {
  HMODULE handle = static_cast<HMODULE>(module);
  return Patch(handle, "msvcrt.dll", "malloc", &WatchedMalloc, &realMalloc, error) &&
         Patch(handle, "msvcrt.dll", "calloc", &WatchedCalloc, &realCalloc, error) &&
         Patch(handle, "msvcrt.dll", "free", &WatchedFree, &realFree, error) &&
         Patch(handle, "msvcrt.dll", "realloc", &WatchedRealloc, &realRealloc, error) &&
         Patch(handle, "KERNEL32.dll", "GlobalAlloc", &WatchedGlobalAlloc, &realGlobalAlloc, error) &&
         Patch(handle, "KERNEL32.dll", "GlobalFree", &WatchedGlobalFree, &realGlobalFree, error);
}

bool PatchImport(void* module, const char* dll, const char* function, void* replacement, void** original) {
  return Patch(static_cast<HMODULE>(module), dll, function, replacement, original, nullptr);
}

void RefusePluginAllocationsAfter(int32_t allocations) {
  allowed = allocations;
  requests = 0;
}

int32_t PluginAllocationRequests() { return requests; }

int32_t LivePluginHeapBlocks() { return static_cast<int32_t>(heapBlocks.size()); }

int32_t LivePluginGlobalBlocks() { return static_cast<int32_t>(globalBlocks.size()); }
