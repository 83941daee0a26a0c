// Refused memory inside a loaded plug-in: its imports of the C runtime's
// allocators and of GlobalAlloc are redirected through our counters, so that
// a test can refuse the n-th allocation the module makes and count the blocks
// it still holds. Only calls made by that module are affected.
#pragma once

#include <cstdint>
#include <string>

// Patches the module's import table. False with a reason when an import is
// missing or cannot be patched. Once per module; the patch stays.
bool WatchPluginAllocations(void* module, std::string* error);

// The next `allocations` allocations succeed, every later one is refused;
// negative: none is refused. Resets the request count.
void RefusePluginAllocationsAfter(int32_t allocations);

// Allocations asked for since the last RefusePluginAllocationsAfter.
int32_t PluginAllocationRequests();

// Blocks the module made through the watched calls and has not freed:
// heap blocks (malloc, calloc, realloc) and global memory blocks.
int32_t LivePluginHeapBlocks();
int32_t LivePluginGlobalBlocks();

// Points the module's import of `function` from `dll` at `replacement`, and
// returns what the slot held before in `*original`. False when the module
// does not import it or the table cannot be written.
bool PatchImport(void* module, const char* dll, const char* function, void* replacement, void** original);
