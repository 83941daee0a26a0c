// Recording and playing back the two parameters through the host's
// scripting descriptors.
#pragma once

#include <cstdint>

#include "host/globals.h"
#include "host/host_api.h"

constexpr int16_t kDescriptorParametersVersion = 0;
constexpr int16_t kReadDescriptorProcsVersion = 0;
constexpr int16_t kWriteDescriptorProcsVersion = 0;
constexpr uint16_t kMinReadDescriptorProcs = 18;
constexpr uint16_t kMinWriteDescriptorProcs = 16;

enum : int16_t {
  plugInDialogDontDisplay = 0,
  plugInDialogDisplay = 1,
  plugInDialogSilent = 2,
};

enum : int16_t {
  plugInDialogOptional = 0,
  plugInDialogRequired = 1,
  plugInDialogNone = 2,
};

// True when the host's descriptor suites can be used in both directions:
// version 0 record, both tables present with version 0, at least 18 read and
// 16 write procs, and every read proc non-null.
bool ScriptingAvailable(const PIDescriptorParameters* parameters);

// Loads draw and shft from the host's descriptor (low 16 bits of each) and
// takes over the host's wish to show the dialog. The descriptor is disposed
// of through the host's handle suite, or left to the host when that suite is
// unusable. Returns the reader's close status (0 when nothing was read);
// errMissingParameter only says a key was absent. The host never sees the
// status: Start goes on, and its dialog or request answers the call.
int16_t ReadScriptParameters(FilterGlobals* globals);

// Records draw and shft into a new descriptor for the host, replacing the old
// one, and sets recordInfo to plugInDialogOptional. Nothing is written when
// the suites or the procs it calls are missing. Always 0.
int16_t WriteScriptParameters(FilterGlobals* globals);
