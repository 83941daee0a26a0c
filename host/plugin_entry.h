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
// (Fireworks). Null, with -108 in the result word, when it cannot.
FilterGlobals* AcquireHandleGlobals(int16_t* result, FilterRecord* record, const HandleProcs* procs,
                                    int32_t size, intptr_t* data, GlobalsInitialiser initialise);

void PrepareGlobals(FilterGlobals* globals);
void OnParameters(FilterGlobals* globals);
void OnPrepare(FilterGlobals* globals);
void OnStart(FilterGlobals* globals);
void OnContinue(FilterGlobals* globals);
void OnFinish(FilterGlobals* globals);
