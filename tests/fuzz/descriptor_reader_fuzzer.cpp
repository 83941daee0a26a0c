// The plug-in's descriptor reader against random descriptor stores: a small
// fake host whose read procs serve a random list of typed items, with a
// random close status, playInfo and damage to its tables. Only draw and shft
// may be fetched, a damaged suite must not be called at all, and the
// parameters end as the items that could be read make them.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "host/globals.h"
#include "host/handles.h"
#include "resources/terminology_ids.h"
#include "scripting/script_parameters.h"

// As the plug-in's entry defines it; the fuzzer leaves the entry out.
FilterParameters* GetFilterParameters(const FilterRecord* record) {
  if (record == nullptr || record->parameters == nullptr) return nullptr;
  return reinterpret_cast<FilterParameters*>(*record->parameters);
}

namespace {

constexpr DescriptorTypeID kInteger = 0x6C6F6E67;  // 'long'

struct Item {
  DescriptorKeyID key;
  DescriptorTypeID type;
  int32_t value;
};

struct FakeHost {
  std::vector<Item> items;
  size_t next = 0;
  bool keysEnded = false;
  bool opened = false;
  bool closed = false;
  bool refuseReader = false;
  bool laxTypes = false;  // other types: a value is written, then refused
  OSErr closeStatus = 0;
  int calls = 0;
  int disposed = 0;
  char descriptorBytes[4] = {0};
  char* descriptorData = descriptorBytes;
};
FakeHost host;
int readerToken;

void Check(bool condition) {
  if (!condition) std::abort();
}

// Every call must come through an open reader that has not been closed.
void ExpectReading(PIReadDescriptor reader) {
  ++host.calls;
  Check(host.opened && !host.closed && reader == &readerToken);
}

PIReadDescriptor PI_CALL OpenRead(PIDescriptorHandle descriptor, DescriptorKeyID* keys) {
  ++host.calls;
  Check(!host.opened && descriptor == &host.descriptorData && keys != nullptr);
  host.opened = true;
  return host.refuseReader ? nullptr : &readerToken;
}

OSErr PI_CALL CloseRead(PIReadDescriptor reader) {
  ExpectReading(reader);
  host.closed = true;
  return host.closeStatus;
}

Boolean PI_CALL GetKey(PIReadDescriptor reader, DescriptorKeyID* key, DescriptorTypeID* type, int32_t* flags) {
  ExpectReading(reader);
  Check(!host.keysEnded && key != nullptr && type != nullptr && flags != nullptr);
  if (host.next >= host.items.size()) {
    host.keysEnded = true;
    return 0;
  }
  *key = host.items[host.next].key;
  *type = host.items[host.next].type;
  *flags = 0;
  ++host.next;
  return 1;
}

// Like a host that checks types: other types are refused, with or without
// something written into the value first.
OSErr PI_CALL GetInteger(PIReadDescriptor reader, int32_t* value) {
  ExpectReading(reader);
  Check(host.next > 0 && value != nullptr);
  const Item& item = host.items[host.next - 1];
  Check(item.key == keyDraw || item.key == keyShft);
  if (item.type != kInteger) {
    if (host.laxTypes) *value = item.value ^ 0x5A5A5A5A;
    return -50;
  }
  *value = item.value;
  return 0;
}

void PI_CALL NeverCalled() { std::abort(); }

void PI_CALL DisposeHandle(Handle handle) {
  Check(handle == &host.descriptorData);
  ++host.disposed;
}
Handle PI_CALL NewHandle(int32_t) { std::abort(); }
int32_t PI_CALL HandleSize(Handle) { std::abort(); }
OSErr PI_CALL SetHandleSize(Handle, int32_t) { std::abort(); }
Ptr PI_CALL LockHandle(Handle, Boolean) { std::abort(); }
void PI_CALL UnlockHandle(Handle) { std::abort(); }

DescriptorKeyID PickKey(FuzzedDataProvider* input) {
  switch (input->ConsumeIntegralInRange(0, 3)) {
    case 0: return keyDraw;
    case 1: return keyShft;
    default: return input->ConsumeIntegral<uint32_t>();
  }
}

DescriptorTypeID PickType(FuzzedDataProvider* input) {
  const DescriptorTypeID types[] = {kInteger, 0x646F7562 /* doub */, 0x626F6F6C /* bool */, 0x54455854 /* TEXT */};
  if (input->ConsumeBool()) return input->ConsumeIntegral<uint32_t>();
  return types[input->ConsumeIntegralInRange(0, 3)];
}

// The damage of one kind or another, or none.
void Damage(FuzzedDataProvider* input, PIDescriptorParameters* parameters, ReadDescriptorProcs* read,
            WriteDescriptorProcs* write) {
  switch (input->ConsumeIntegralInRange(0, 7)) {
    case 0: parameters->descriptorParametersVersion = input->ConsumeIntegral<int16_t>(); break;
    case 1: read->readDescriptorProcsVersion = input->ConsumeIntegral<int16_t>(); break;
    case 2: read->numReadDescriptorProcs = input->ConsumeIntegral<int16_t>(); break;
    case 3:
      write->writeDescriptorProcsVersion = input->ConsumeIntegralInRange<int16_t>(0, 1);
      write->numWriteDescriptorProcs = input->ConsumeIntegral<int16_t>();
      break;
    case 4: reinterpret_cast<void**>(&read->openReadDescriptorProc)[input->ConsumeIntegralInRange(0, 17)] = nullptr; break;
    case 5: if (input->ConsumeBool()) parameters->readDescriptorProcs = nullptr; else parameters->writeDescriptorProcs = nullptr; break;
    default: break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  host = FakeHost();
  ReadDescriptorProcs read = {0, 18, OpenRead, CloseRead, GetKey, GetInteger, {}};
  for (UnusedDescriptorProc& proc : read.otherProcs) proc = NeverCalled;
  WriteDescriptorProcs write = {0, 16, nullptr, nullptr, nullptr, {}};
  PIDescriptorParameters parameters = {0, 0, 0, &host.descriptorData, &write, &read};
  HandleProcs handles = {kHandleProcsVersion, 8, NewHandle, DisposeHandle, HandleSize, SetHandleSize, LockHandle, UnlockHandle, nullptr, nullptr};

  parameters.playInfo = input.ConsumeIntegralInRange<int16_t>(-1, 3);
  host.closeStatus = input.ConsumeIntegral<int16_t>();
  host.refuseReader = input.ConsumeIntegralInRange(0, 7) == 0;
  const bool handleSuite = input.ConsumeBool();
  const bool parametersBlock = input.ConsumeIntegralInRange(0, 7) != 0;
  FilterParameters values = {input.ConsumeIntegral<int16_t>(), input.ConsumeIntegral<uint16_t>()};
  Damage(&input, &parameters, &read, &write);
  const size_t count = input.ConsumeIntegralInRange<size_t>(0, 12);
  for (size_t i = 0; i < count; ++i) host.items.push_back({PickKey(&input), PickType(&input), input.ConsumeIntegral<int32_t>()});
  host.laxTypes = input.ConsumeBool();

  const FilterParameters original = values;
  FilterParameters expected = values;
  for (const Item& item : host.items) {
    if (item.type != kInteger) continue;
    if (item.key == keyDraw) expected.draw = static_cast<int16_t>(static_cast<uint16_t>(item.value));
    if (item.key == keyShft) expected.shft = static_cast<uint16_t>(item.value);
  }
  const bool usable = ScriptingAvailable(&parameters);

  FilterParameters* block = &values;
  FilterRecord record = {};
  record.parameters = parametersBlock ? reinterpret_cast<Handle>(&block) : nullptr;
  record.handleProcs = handleSuite ? &handles : nullptr;
  record.descriptorParameters = &parameters;
  int16_t result = 0x5A5A;
  FilterGlobals globals = {};
  globals.result = &result;
  globals.filterRecord = &record;
  globals.showDialog = 7;
  const int16_t status = ReadScriptParameters(&globals);

  if (!usable) {
    Check(host.calls == 0 && status == 0 && result == 0x5A5A && globals.showDialog == 7);
    Check(values.draw == original.draw && values.shft == original.shft);
    return 0;
  }
  const bool opened = !host.refuseReader;
  Check(host.opened && host.closed == opened);
  Check(globals.showDialog == (parameters.playInfo == plugInDialogDisplay ? 1 : 0));
  Check(host.disposed == (opened && handleSuite ? 1 : 0));
  Check((parameters.descriptor == nullptr) == (opened && handleSuite));
  Check(status == (opened ? host.closeStatus : 0));
  Check(result == 0x5A5A);  // the status is Start's to weigh, not the host's to see
  if (opened && parametersBlock) {
    Check(host.keysEnded && values.draw == expected.draw && values.shft == expected.shft);
  } else {
    Check(host.next == 0 && values.draw == original.draw && values.shft == original.shft);
  }
  return 0;
}
