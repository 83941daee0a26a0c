// The host's scripting suites. A descriptor is a handle of the handle suite
// whose bytes are its items; readers and writers are objects of ours, and a
// token or descriptor we did not make is counted and refused, never followed.
#include <algorithm>
#include <cstring>

#include "tools/vkhost/host_internal.h"

namespace {

constexpr OSErr kCoercedParamErr = 2;

HostSession* Session() { return CurrentSession(); }

void CountForeign() {
  if (Session() != nullptr) ++Session()->log.foreignDescriptorCalls;
}

void CountUnexpected() {
  if (Session() != nullptr) ++Session()->log.unexpectedDescriptorCalls;
}

template <class T>
T* Find(const std::vector<T*>& objects, void* token) {
  for (T* object : objects)
    if (object == token) return object;
  CountForeign();
  return nullptr;
}

DescriptorReader* FindReader(void* token) {
  return Session() != nullptr ? Find(Session()->internals->readers, token) : nullptr;
}

DescriptorWriter* FindWriter(void* token) {
  return Session() != nullptr ? Find(Session()->internals->writers, token) : nullptr;
}

template <class T>
void Forget(std::vector<T*>* objects, T* object) {
  objects->erase(std::remove(objects->begin(), objects->end(), object), objects->end());
  delete object;
}

Handle MakeDescriptorHandle(HostInternals* internals, const HostDescriptor& items, uint8_t kind) {
  const int32_t size = static_cast<int32_t>(items.size() * sizeof(DescriptorItem));
  SuiteHandle* handle = MakeSuiteHandle(internals, size, false);
  if (handle == nullptr) return nullptr;
  if (size > 0) std::memcpy(handle->data, items.data(), static_cast<size_t>(size));
  handle->descriptor = kind;
  return reinterpret_cast<Handle>(handle);
}

bool ReadDescriptorHandle(const HostInternals* internals, Handle handle, HostDescriptor* items) {
  const SuiteHandle* found = FindSuiteHandle(internals, handle);
  if (found == nullptr || found->descriptor == kNotDescriptor) return false;
  items->resize(static_cast<size_t>(found->size) / sizeof(DescriptorItem));
  if (!items->empty()) std::memcpy(items->data(), found->data, items->size() * sizeof(DescriptorItem));
  return true;
}

// ---- Reading ----

PIReadDescriptor PI_CALL OpenRead(PIDescriptorHandle descriptor, DescriptorKeyID* keys) {
  HostSession* session = Session();
  if (session == nullptr) return nullptr;
  std::vector<DescriptorKeyID>& seen = session->log.readKeys;
  seen.clear();
  for (size_t i = 0; keys != nullptr && i < 64; ++i) {
    seen.push_back(keys[i]);
    if (keys[i] == 0) break;
  }
  if (session->options.descriptors.refuseReader || descriptor == nullptr) return nullptr;
  auto* reader = new DescriptorReader();
  if (!ReadDescriptorHandle(session->internals, descriptor, &reader->items)) {
    delete reader;
    CountForeign();
    return nullptr;
  }
  for (DescriptorKeyID key : seen)
    if (key != 0) reader->missing.push_back(key);
  session->internals->readers.push_back(reader);
  return reader;
}

// The stickiest error; otherwise errMissingParameter when an expected key never came.
OSErr PI_CALL CloseRead(PIReadDescriptor token) {
  DescriptorReader* reader = FindReader(token);
  if (reader == nullptr) return kParamErr;
  OSErr status = reader->status;
  if (status == noErr && !reader->missing.empty()) status = errMissingParameter;
  Forget(&Session()->internals->readers, reader);
  return status;
}

Boolean PI_CALL GetKey(PIReadDescriptor token, DescriptorKeyID* key, DescriptorTypeID* type, int32_t* flags) {
  DescriptorReader* reader = FindReader(token);
  if (reader == nullptr || key == nullptr || reader->next >= reader->items.size()) return 0;
  reader->current = &reader->items[reader->next++];
  *key = reader->current->key;
  if (type != nullptr) *type = reader->current->type;
  if (flags != nullptr) *flags = 0;
  auto& missing = reader->missing;
  missing.erase(std::remove(missing.begin(), missing.end(), *key), missing.end());
  return 1;
}

// The value of the item getKeyProc gave last, if it has the wanted type.
const DescriptorItem* CurrentItem(PIReadDescriptor token, const void* out) {
  DescriptorReader* reader = FindReader(token);
  if (reader == nullptr) return nullptr;
  if (out == nullptr || reader->current == nullptr) {
    reader->status = kParamErr;
    return nullptr;
  }
  return reader->current;
}

OSErr Mismatch(PIReadDescriptor token) {
  FindReader(token)->status = kParamErr;
  return kParamErr;
}

OSErr PI_CALL GetInteger(PIReadDescriptor token, int32_t* value) {
  const DescriptorItem* item = CurrentItem(token, value);
  if (item == nullptr) return kParamErr;
  if (item->type != kTypeInteger) return Mismatch(token);
  *value = item->integer;
  return noErr;
}

OSErr PI_CALL GetFloat(PIReadDescriptor token, double* value) {
  CountUnexpected();
  const DescriptorItem* item = CurrentItem(token, value);
  if (item == nullptr) return kParamErr;
  if (item->type == kTypeInteger) {
    *value = item->integer;
    return kCoercedParamErr;
  }
  if (item->type != kTypeFloat) return Mismatch(token);
  *value = item->number;
  return noErr;
}

OSErr PI_CALL GetBoolean(PIReadDescriptor token, Boolean* value) {
  CountUnexpected();
  const DescriptorItem* item = CurrentItem(token, value);
  if (item == nullptr) return kParamErr;
  if (item->type != kTypeBoolean) return Mismatch(token);
  *value = static_cast<Boolean>(item->integer != 0);
  return noErr;
}

// ---- Writing ----

PIWriteDescriptor PI_CALL OpenWrite() {
  HostSession* session = Session();
  if (session == nullptr || session->options.descriptors.refuseWriter) return nullptr;
  auto* writer = new DescriptorWriter();
  session->internals->writers.push_back(writer);
  return writer;
}

OSErr PI_CALL CloseWrite(PIWriteDescriptor token, PIDescriptorHandle* descriptor) {
  DescriptorWriter* writer = FindWriter(token);
  if (writer == nullptr) return kParamErr;
  HostInternals* internals = Session()->internals;
  Handle made = MakeDescriptorHandle(internals, writer->items, kWrittenDescriptor);
  Forget(&internals->writers, writer);
  if (descriptor == nullptr) {
    FreeSuiteHandle(internals, reinterpret_cast<SuiteHandle*>(made));
    return kParamErr;
  }
  *descriptor = made;
  return made != nullptr ? noErr : memFullErr;
}

OSErr Put(PIWriteDescriptor token, const DescriptorItem& item) {
  DescriptorWriter* writer = FindWriter(token);
  if (writer == nullptr) return kParamErr;
  writer->items.push_back(item);
  return noErr;
}

OSErr PI_CALL PutInteger(PIWriteDescriptor token, DescriptorKeyID key, int32_t value) {
  DescriptorItem item;
  item.key = key;
  item.type = kTypeInteger;
  item.integer = value;
  return Put(token, item);
}

OSErr PI_CALL PutFloat(PIWriteDescriptor token, DescriptorKeyID key, const double* value) {
  CountUnexpected();
  if (value == nullptr) return kParamErr;
  DescriptorItem item;
  item.key = key;
  item.type = kTypeFloat;
  item.number = *value;
  return Put(token, item);
}

OSErr PI_CALL PutBoolean(PIWriteDescriptor token, DescriptorKeyID key, Boolean value) {
  CountUnexpected();
  DescriptorItem item;
  item.key = key;
  item.type = kTypeBoolean;
  item.integer = value != 0 ? 1 : 0;
  return Put(token, item);
}

// Every other slot. Callers pop their own arguments (cdecl, and the single
// x64 convention), so one function without parameters serves them all.
OSErr PI_CALL Unsupported() {
  CountUnexpected();
  return kParamErr;
}

template <class F>
UnusedDescriptorProc Slot(F proc) {
  return reinterpret_cast<UnusedDescriptorProc>(proc);
}

void FillReadProcs(ReadDescriptorProcs* procs, const DescriptorSuiteOptions& options) {
  procs->readDescriptorProcsVersion = options.readVersion;
  procs->numReadDescriptorProcs = options.readCount;
  procs->openReadDescriptorProc = OpenRead;
  procs->closeReadDescriptorProc = CloseRead;
  procs->getKeyProc = GetKey;
  procs->getIntegerProc = GetInteger;
  for (UnusedDescriptorProc& slot : procs->otherProcs) slot = Slot(Unsupported);
  procs->otherProcs[0] = Slot(GetFloat);    // getFloatProc
  procs->otherProcs[2] = Slot(GetBoolean);  // getBooleanProc
  const int null = options.nullReadProc;
  if (null == 0) procs->openReadDescriptorProc = nullptr;
  if (null == 1) procs->closeReadDescriptorProc = nullptr;
  if (null == 2) procs->getKeyProc = nullptr;
  if (null == 3) procs->getIntegerProc = nullptr;
  if (null >= 4 && null < 18) procs->otherProcs[null - 4] = nullptr;
}

void FillWriteProcs(WriteDescriptorProcs* procs, const DescriptorSuiteOptions& options) {
  procs->writeDescriptorProcsVersion = options.writeVersion;
  procs->numWriteDescriptorProcs = options.writeCount;
  procs->openWriteDescriptorProc = OpenWrite;
  procs->closeWriteDescriptorProc = CloseWrite;
  procs->putIntegerProc = PutInteger;
  for (UnusedDescriptorProc& slot : procs->otherProcs) slot = Slot(Unsupported);
  procs->otherProcs[0] = Slot(PutFloat);    // putFloatProc
  procs->otherProcs[2] = Slot(PutBoolean);  // putBooleanProc
  const int null = options.nullWriteProc;
  if (null == 0) procs->openWriteDescriptorProc = nullptr;
  if (null == 1) procs->closeWriteDescriptorProc = nullptr;
  if (null == 2) procs->putIntegerProc = nullptr;
  if (null >= 3 && null < 16) procs->otherProcs[null - 3] = nullptr;
}

}  // namespace

void FillDescriptorProcs(HostInternals* internals, const DescriptorSuiteOptions& options) {
  FillReadProcs(&internals->offeredReadProcs, options);
  FillWriteProcs(&internals->offeredWriteProcs, options);
  if (options.garbageAfter) {
    internals->offeredReadProcs.numReadDescriptorProcs = 0x7FFF;
    internals->offeredWriteProcs.numWriteDescriptorProcs = 0x7FFF;
    std::memset(internals->afterDescriptorParameters, 0xCC, sizeof internals->afterDescriptorParameters);
    std::memset(internals->afterReadProcs, 0xCC, sizeof internals->afterReadProcs);
    std::memset(internals->afterWriteProcs, 0xCC, sizeof internals->afterWriteProcs);
  }
}

PIDescriptorParameters* BeginRunDescriptors(HostSession* session) {
  HostInternals* internals = session->internals;
  const DescriptorSuiteOptions& options = session->options.descriptors;
  PIDescriptorParameters& parameters = internals->descriptorParameters;
  parameters.descriptorParametersVersion = options.version;
  parameters.recordInfo = options.recordInfo;
  parameters.readDescriptorProcs = options.noReadProcs ? nullptr : &internals->offeredReadProcs;
  parameters.writeDescriptorProcs = options.noWriteProcs ? nullptr : &internals->offeredWriteProcs;
  internals->playbackRun = session->playPending;
  parameters.playInfo = session->playPending ? session->playInfo : 0;
  const bool play = session->playPending && !options.absent;
  // A foreign one is not null and not ours: every call with it is counted and refused.
  static char* foreign[2] = {nullptr, nullptr};
  if (!play) {
    parameters.descriptor = nullptr;
  } else if (options.foreignDescriptor) {
    parameters.descriptor = reinterpret_cast<Handle>(foreign);
  } else {
    parameters.descriptor = MakeDescriptorHandle(internals, session->playItems, kPlayedDescriptor);
  }
  session->playPending = false;
  return options.absent ? nullptr : &parameters;
}

void BeforeParameters(HostSession* session) {
  if (!session->internals->playbackRun) session->internals->descriptorParameters.playInfo = 1;
}

// What the plug-in left in the record, if it is a descriptor it recorded now.
void TakeRecordedDescriptor(HostSession* session) {
  HostInternals* internals = session->internals;
  PIDescriptorParameters& parameters = internals->descriptorParameters;
  Handle handed = parameters.descriptor;
  const SuiteHandle* found = FindSuiteHandle(internals, handed);
  if (found == nullptr || found->descriptor != kWrittenDescriptor) return;
  HostDescriptor items;
  if (!ReadDescriptorHandle(internals, handed, &items)) return;
  session->recorded = items;
  session->hasRecorded = true;
  session->recordedInfo = parameters.recordInfo;
  FreeSuiteHandle(internals, reinterpret_cast<SuiteHandle*>(handed));
  parameters.descriptor = nullptr;
}

// The host owns every descriptor; any still held at the end of the run is freed here.
void EndRunDescriptors(HostSession* session) {
  HostInternals* internals = session->internals;
  std::vector<SuiteHandle*> left;
  for (SuiteHandle* handle : internals->handles)
    if (handle->descriptor != kNotDescriptor) left.push_back(handle);
  session->log.descriptorsLeftToHost += static_cast<int32_t>(left.size());
  for (SuiteHandle* handle : left) FreeSuiteHandle(internals, handle);
  while (!internals->readers.empty()) Forget(&internals->readers, internals->readers.back());
  while (!internals->writers.empty()) Forget(&internals->writers, internals->writers.back());
  internals->descriptorParameters.descriptor = nullptr;
}

void PlayBack(HostSession* session, const HostDescriptor& items, int16_t playInfo) {
  session->playPending = true;
  session->playItems = items;
  session->playInfo = playInfo;
}
