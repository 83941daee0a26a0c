#include "scripting/script_parameters.h"

// Scripting is not wired up yet: both directions leave everything unchanged,
// as they do for hosts without descriptor suites.
int16_t ReadScriptParameters(FilterGlobals* /*globals*/) { return 0; }

int16_t WriteScriptParameters(FilterGlobals* /*globals*/) { return 0; }
