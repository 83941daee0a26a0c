#include <cstring>

#include "host/capability_alert.h"
#include "host/floating_point_state.h"
#include "host/handles.h"
#include "host/host_request.h"
#include "host/kept_records.h"
#include "host/plot_primes.h"
#include "host/plugin_entry.h"
#include "host/remembered_parameters.h"
#include "scripting/script_parameters.h"
#include "ui/about_box.h"
#include "ui/parameter_dialog.h"

namespace {

void Bind(FilterGlobals* globals, int16_t* result, FilterRecord* record) {
  globals->result = result;
  globals->filterRecord = record;
}

// Non-Fireworks hosts: the record is a locked block whose address is the data word.
FilterGlobals* AcquireBlockGlobals(int16_t* result, FilterRecord* record, intptr_t* data) {
  if (*data != 0) {
    auto* globals = reinterpret_cast<FilterGlobals*>(*data);
    Bind(globals, result, record);
    return globals;
  }
  auto* globals = static_cast<FilterGlobals*>(NewLockedBlock(sizeof(FilterGlobals)));
  if (globals == nullptr) return nullptr;
  MarkGlobals(globals);
  *data = reinterpret_cast<intptr_t>(globals);
  Bind(globals, result, record);
  PrepareGlobals(globals);
  return globals;
}

// Without a dialog the buffers hold exactly the filter rectangle, all colour
// planes interleaved.
void RequestFilterRect(FilterGlobals* globals) {
  FilterRecord* record = globals->filterRecord;
  RequestAllPlanes(record);
  record->inRect = record->filterRect;
  record->outRect = record->inRect;
  record->maskRect = record->inRect;
  const Rect& filter = record->filterRect;
  SetHostRect(&globals->processRect, 0, 0, static_cast<int16_t>(filter.right - filter.left),
              static_cast<int16_t>(filter.bottom - filter.top));
}

// PrepareGlobals' only failure: no parameters block could be made.
OSErr PreparedStatus(const FilterRecord* record) {
  return record->parameters == nullptr ? OSErr{memFullErr} : OSErr{noErr};
}

bool IsEmpty(const Rect& rect) { return rect.top == rect.bottom || rect.left == rect.right; }

// The modes the property list declares. In any other the samples would be
// read at the wrong width, so the run is refused before anything is asked.
bool ModeSupported(int16_t mode) {
  return mode == plugInModeGrayScale || mode == plugInModeRGBColor || mode == plugInModeGray16 ||
         mode == plugInModeRGB48;
}

}  // namespace

FilterGlobals* AcquireHandleGlobals(int16_t* result, FilterRecord* record, const HandleProcs* procs,
                                    int32_t size, intptr_t* data, GlobalsInitialiser initialise) {
  if (*data != 0) {
    Handle handle = reinterpret_cast<Handle>(*data);
    auto* globals = reinterpret_cast<FilterGlobals*>(LockPluginHandle(procs, handle, true));
    if (globals == nullptr) return nullptr;
    Bind(globals, result, record);
    return globals;
  }
  Handle handle = NewPluginHandle(procs, size);
  if (handle == nullptr) return nullptr;
  auto* globals = reinterpret_cast<FilterGlobals*>(LockPluginHandle(procs, handle, true));
  if (globals == nullptr) {
    DisposePluginHandle(procs, handle);
    return nullptr;
  }
  // A host's newProc need not clear its memory; showDialog must start at 0.
  std::memset(globals, 0, static_cast<size_t>(size));
  Bind(globals, result, record);
  initialise(globals);
  *data = reinterpret_cast<intptr_t>(handle);
  return globals;
}

void PrepareGlobals(FilterGlobals* globals) {
  FilterRecord* record = globals->filterRecord;
  record->supportsPadding = false;
  // Not freed here: the dialog frees its buffers on every way out.
  globals->previewPixels = nullptr;
  globals->previewMask = nullptr;
  globals->transparencyPlane = nullptr;
  globals->hasTransparency =
      (record->planes == 1 || record->planes == 3) && record->inTransparencyMask != 0 ? 1 : 0;
  if (record->parameters == nullptr) {
    Handle parameters = NewFallbackHandle(sizeof(FilterParameters));
    if (parameters == nullptr) return;
    record->parameters = parameters;
    // Defaults in a fresh process; afterwards what the user last confirmed,
    // for hosts that drop the handle between runs.
    *GetFilterParameters(record) = StartingParameters();
  }
}

FilterParameters* GetFilterParameters(const FilterRecord* record) {
  if (record == nullptr || record->parameters == nullptr) return nullptr;
  return reinterpret_cast<FilterParameters*>(*record->parameters);
}

OSErr OnParameters(FilterGlobals* globals) {
  PrepareGlobals(globals);
  globals->showDialog = 1;
  return PreparedStatus(globals->filterRecord);
}

OSErr OnPrepare(FilterGlobals* globals) {
  globals->filterRecord->bufferSpace = 0;
  globals->filterRecord->maxSpace = 0;
  return noErr;
}

namespace {

// Start up to its request; a failure leaves the rectangles to the caller.
OSErr RequestPixels(FilterGlobals* globals) {
  FilterRecord* record = globals->filterRecord;
  if (!CheckAdvanceState(record->advanceState, moduleInstance)) return userCanceledErr;
  if (!ModeSupported(record->imageMode)) return filterBadMode;
  // Buffer coordinates of a wider rectangle would wrap: nothing could be plotted.
  if (!SizeFitsRect(record->filterRect)) return filterBadParameters;
  PrepareGlobals(globals);
  // Everything below reads or writes the parameters block.
  if (GetFilterParameters(record) == nullptr) return memFullErr;
  // A close status of the host's reader is no reason to stop: the dialog or
  // the request below answers for the call.
  ReadScriptParameters(globals);
  if (globals->showDialog != 0) {
    globals->showDialog = 0;
    const OSErr dialog = DoParameterDialog(globals);
    if (dialog != noErr) return dialog;
    RememberParameters(*GetFilterParameters(record));
    // The dialog asked for the whole image: the filter rectangle addresses
    // itself inside those buffers.
    globals->processRect = record->filterRect;
  } else {
    RequestFilterRect(globals);
  }
  return record->advanceState();
}

}  // namespace

OSErr OnStart(FilterGlobals* globals) {
  const OSErr result = RequestPixels(globals);
  if (result != noErr) EmptyRequest(globals->filterRecord);
  return result;
}

OSErr OnContinue(FilterGlobals* globals) {
  FilterRecord* record = globals->filterRecord;
  OSErr result = noErr;
  if (!IsEmpty(record->filterRect)) {
    if (GetFilterParameters(record) == nullptr) {
      result = memFullErr;
    } else {
      result = PlotPrimes(globals, true);
      if (result == noErr) RememberParameters(*GetFilterParameters(record));
    }
  }
  EmptyRequest(record);
  return result;
}

// Recording is never worth failing the run for.
OSErr OnFinish(FilterGlobals* globals) {
  WriteScriptParameters(globals);
  return noErr;
}

void PublishResult(const FilterGlobals* globals, OSErr result) { *globals->result = result; }

namespace {

OSErr RunHandler(int16_t selector, FilterGlobals* globals) {
  switch (selector) {
    case filterSelectorParameters: return OnParameters(globals);
    case filterSelectorPrepare: return OnPrepare(globals);
    case filterSelectorStart: return OnStart(globals);
    case filterSelectorContinue: return OnContinue(globals);
    case filterSelectorFinish: return OnFinish(globals);
    default: return filterBadParameters;
  }
}

// The one place that answers the host, apart from the dialog's
// PublishResult while it runs. The word reads 0 from the moment the record
// is bound, as the host's callbacks meanwhile see it.
void DispatchSelector(int16_t selector, void* record, intptr_t* data, int16_t* result) {
  if (result == nullptr) return;
  if (selector == filterSelectorAbout) {
    *result = noErr;
    DoAboutBox(static_cast<AboutRecord*>(record));
    return;
  }
  auto* filterRecord = static_cast<FilterRecord*>(record);
  if (filterRecord == nullptr || data == nullptr) {
    *result = filterBadParameters;
    return;
  }
  const bool inHandle = HostApp == hostFireworks;
  ForgetUnusableParameters(filterRecord);
  ForgetUnusableDataWord(data, inHandle, filterRecord->handleProcs);
  const bool fresh = *data == 0;
  FilterGlobals* globals =
      inHandle ? AcquireHandleGlobals(result, filterRecord, filterRecord->handleProcs,
                                      sizeof(FilterGlobals), data, PrepareGlobals)
               : AcquireBlockGlobals(result, filterRecord, data);
  if (globals == nullptr) {
    *result = memFullErr;
    return;
  }
  // A new record whose parameters block could not be made reports it,
  // whatever the selector does, unless Start answers for the whole call.
  OSErr status = noErr;
  if (fresh && selector != filterSelectorStart) status = PreparedStatus(filterRecord);
  *result = status;

  if (HostApp == hostPremiere) filterRecord->wholeSize = filterRecord->imageSize;

  const OSErr handled = RunHandler(selector, globals);
  if (handled != noErr) status = handled;
  *result = status;

  if (inHandle && *data != 0) UnlockPluginHandle(filterRecord->handleProcs, reinterpret_cast<Handle>(*data));
}

}  // namespace

// The host's floating-point state is its own (some run with exceptions
// unmasked); every call runs in ours and hands the host's back unchanged.
PLUGIN_EXPORT void PI_CALL PluginMain(int16_t selector, void* record, intptr_t* data, int16_t* result) {
  FloatingPointState hostState;
  EnterPluginFloatingPoint(&hostState);
  DispatchSelector(selector, record, data, result);
  LeavePluginFloatingPoint(hostState);
}
