#include "scripting/script_parameters.h"

#include "host/handles.h"
#include "resources/terminology_ids.h"

namespace {

bool ReadProcsAllPresent(const ReadDescriptorProcs* procs) {
  if (procs->openReadDescriptorProc == nullptr || procs->closeReadDescriptorProc == nullptr ||
      procs->getKeyProc == nullptr || procs->getIntegerProc == nullptr)
    return false;
  for (UnusedDescriptorProc proc : procs->otherProcs)
    if (proc == nullptr) return false;
  return true;
}

// The descriptor is always the host's. Its own disposeProc is the only way to
// free it; our fallback disposer would take it for one of our handles.
void ReleaseDescriptor(const FilterRecord* record, PIDescriptorParameters* parameters) {
  if (parameters->descriptor == nullptr || !HandleProcsUsable(record->handleProcs)) return;
  DisposePluginHandle(record->handleProcs, parameters->descriptor);
  parameters->descriptor = nullptr;
}

// Far more keys than any recorded action of ours holds; a reader that never
// runs out is left there rather than hanging the host.
constexpr int kMaxKeysRead = 4096;

// A key the host cannot give as an integer (another type, a failed read)
// leaves its parameter as it was, whatever the host wrote into the value.
int32_t ReadInteger(const ReadDescriptorProcs* procs, PIReadDescriptor reader, int32_t current) {
  int32_t read = current;
  return procs->getIntegerProc(reader, &read) == noErr ? read : current;
}

void ReadKeys(const ReadDescriptorProcs* procs, PIReadDescriptor reader, FilterParameters* values) {
  DescriptorKeyID key = 0;
  DescriptorTypeID type = 0;
  int32_t flags = 0;
  for (int keysRead = 0; keysRead < kMaxKeysRead && procs->getKeyProc(reader, &key, &type, &flags); ++keysRead) {
    if (key == keyDraw) {
      values->draw = static_cast<int16_t>(static_cast<uint16_t>(ReadInteger(procs, reader, values->draw)));
    } else if (key == keyShft) {
      values->shft = static_cast<uint16_t>(ReadInteger(procs, reader, values->shft));
    }
  }
}

bool WriteProcsPresent(const WriteDescriptorProcs* procs) {
  return procs->openWriteDescriptorProc != nullptr && procs->closeWriteDescriptorProc != nullptr &&
         procs->putIntegerProc != nullptr;
}

}  // namespace

bool ScriptingAvailable(const PIDescriptorParameters* parameters) {
  if (parameters == nullptr || parameters->descriptorParametersVersion != kDescriptorParametersVersion)
    return false;
  const ReadDescriptorProcs* read = parameters->readDescriptorProcs;
  const WriteDescriptorProcs* write = parameters->writeDescriptorProcs;
  if (read == nullptr || write == nullptr) return false;
  if (read->readDescriptorProcsVersion != kReadDescriptorProcsVersion ||
      static_cast<uint16_t>(read->numReadDescriptorProcs) < kMinReadDescriptorProcs)
    return false;
  if (write->writeDescriptorProcsVersion != kWriteDescriptorProcsVersion ||
      static_cast<uint16_t>(write->numWriteDescriptorProcs) < kMinWriteDescriptorProcs)
    return false;
  return ReadProcsAllPresent(read);
}

int16_t ReadScriptParameters(FilterGlobals* globals) {
  const FilterRecord* record = globals->filterRecord;
  PIDescriptorParameters* parameters = record->descriptorParameters;
  if (!ScriptingAvailable(parameters)) return noErr;
  const ReadDescriptorProcs* procs = parameters->readDescriptorProcs;
  FilterParameters* values = GetFilterParameters(record);
  OSErr status = noErr;
  // Writable: a host may mark the keys it found.
  DescriptorKeyID keys[] = {keyDraw, keyShft, 0};
  PIReadDescriptor reader = procs->openReadDescriptorProc(parameters->descriptor, keys);
  if (reader != nullptr) {
    if (values != nullptr) ReadKeys(procs, reader, values);
    status = procs->closeReadDescriptorProc(reader);
    ReleaseDescriptor(record, parameters);
  }
  globals->showDialog = parameters->playInfo == plugInDialogDisplay ? 1 : 0;
  return status;
}

int16_t WriteScriptParameters(FilterGlobals* globals) {
  const FilterRecord* record = globals->filterRecord;
  PIDescriptorParameters* parameters = record->descriptorParameters;
  const FilterParameters* values = GetFilterParameters(record);
  if (!ScriptingAvailable(parameters) || values == nullptr) return noErr;
  const WriteDescriptorProcs* procs = parameters->writeDescriptorProcs;
  if (!WriteProcsPresent(procs)) return noErr;
  PIWriteDescriptor writer = procs->openWriteDescriptorProc();
  if (writer == nullptr) return noErr;
  procs->putIntegerProc(writer, keyDraw, static_cast<int32_t>(values->draw));
  procs->putIntegerProc(writer, keyShft, static_cast<int32_t>(values->shft));
  ReleaseDescriptor(record, parameters);
  PIDescriptorHandle recorded = nullptr;
  procs->closeWriteDescriptorProc(writer, &recorded);
  parameters->descriptor = recorded;
  parameters->recordInfo = plugInDialogOptional;
  return noErr;
}
