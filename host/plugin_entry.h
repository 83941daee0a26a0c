// The entry the host calls once per selector, and the steps around it.
#pragma once

#include <cstdint>

#include "host/globals.h"
#include "host/host_api.h"

#if defined(_WIN32)
// Hosts only promise 4-byte stack alignment; realign once at the entry so that
// SSE code below may rely on 16.
#define PLUGIN_EXPORT extern "C" __declspec(dllexport) __attribute__((force_align_arg_pointer))
#else
#define PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// `record` is a FilterRecord, or an AboutRecord for selector 0.
PLUGIN_EXPORT void PI_CALL PluginMain(int16_t selector, void* record, intptr_t* data, int16_t* result);

// Host identity from the executable's file name (exact, case-sensitive).
int32_t DetectHost(const char* fileName);

// The module instance, recorded at load; needed for dialog and string resources.
extern void* moduleInstance;

typedef void (*GlobalsInitialiser)(FilterGlobals* globals);

// Finds or makes the globals record in a handle kept in the data word
// (Fireworks), and binds it to `result` and `record`. Null when it cannot
// (the caller answers -108); the data word is then unchanged.
FilterGlobals* AcquireHandleGlobals(int16_t* result, FilterRecord* record, const HandleProcs* procs,
                                    int32_t size, intptr_t* data, GlobalsInitialiser initialise);

// Leaves `parameters` null when it cannot make the block; it reports nothing
// itself, since it also runs as the initialiser of a new record.
void PrepareGlobals(FilterGlobals* globals);

// The selector handlers. Each returns its result code, which PluginMain
// stores in the host's result word; noErr from any but Start leaves a -108
// from making the record standing.
OSErr OnParameters(FilterGlobals* globals);
OSErr OnPrepare(FilterGlobals* globals);
OSErr OnStart(FilterGlobals* globals);
OSErr OnContinue(FilterGlobals* globals);
OSErr OnFinish(FilterGlobals* globals);

// Stores `result` in the host's result word while a call is still running.
// Only the parameter dialog does this: the host's callbacks during the
// dialog see what it has come to (the answer to its whole-image request, a
// recompute the engine stopped, OK or Cancel), as they always have.
void PublishResult(const FilterGlobals* globals, OSErr result);
