#include "host/kept_records.h"

#include "host/handles.h"
#include "host/platform.h"

namespace {

constexpr uint32_t kGlobalsTag = 0x564B474C;  // 'VKGL'

// A host's own handle may be a single address long: the tag is copied, not read in place.
bool TaggedAsFallback(const FallbackHandle* record) {
  uint32_t tag = 0;
  return MemoryAccessible(record, sizeof *record, false) && CopyIfAccessible(&record->tag, &tag, sizeof tag) &&
         tag == kFallbackHandleTag;
}

bool GlobalsUsable(intptr_t data) {
  auto* globals = reinterpret_cast<FilterGlobals*>(data);
  if (!MemoryAccessible(globals, sizeof *globals, true) || globals->keptTag != kGlobalsTag) return false;
  // Hosts that keep the record with a document hand back a copy: our tag,
  // the original's address, in a block of at least the record's size.
  if (globals->keptAddress != globals && GlobalBlockSize(globals) < sizeof *globals) return false;
  globals->keptAddress = globals;
  return true;
}

// A fallback handle (ours, or a host's copy of one) whose record and data
// are global blocks, the data exactly `size` bytes that can be read and
// written.
bool FallbackHandleUsable(Handle handle, size_t size) {
  const auto* record = reinterpret_cast<const FallbackHandle*>(handle);
  if (!TaggedAsFallback(record) || GlobalBlockSize(record) < sizeof *record) return false;
  return MemoryAccessible(record->data, size, true) && GlobalBlockSize(record->data) == size;
}

}  // namespace

void MarkGlobals(FilterGlobals* globals) {
  globals->keptTag = kGlobalsTag;
  globals->keptAddress = globals;
}

void ForgetUnusableDataWord(intptr_t* data, bool inHandle, const HandleProcs* procs) {
  if (*data == 0) return;
  const bool usable = inHandle ? HandleProcsUsable(procs) ||
                                     FallbackHandleUsable(reinterpret_cast<Handle>(*data), sizeof(FilterGlobals))
                               : GlobalsUsable(*data);
  if (!usable) *data = 0;
}

void ForgetUnusableParameters(FilterRecord* record) {
  Handle parameters = record->parameters;
  if (parameters == nullptr) return;
  const size_t size = sizeof(FilterParameters);
  const bool usable = TaggedAsFallback(reinterpret_cast<const FallbackHandle*>(parameters))
                          ? FallbackHandleUsable(parameters, size)
                          : MemoryAccessible(parameters, sizeof(Ptr), false) && MemoryAccessible(*parameters, size, true);
  if (!usable) record->parameters = nullptr;
}
