// Recording and playing back the two parameters through the host's
// scripting descriptors.
#pragma once

#include <cstdint>

#include "host/globals.h"

// Loads draw and shft from the host's descriptor and takes over the host's
// wish to show the dialog. Returns the descriptor's close status.
int16_t ReadScriptParameters(FilterGlobals* globals);

// Records draw and shft into a new descriptor for the host. Always 0.
int16_t WriteScriptParameters(FilterGlobals* globals);
