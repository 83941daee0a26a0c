// The modal parameter dialog: layout (two radio buttons) and shift (slider
// and edit box), edited in place in the parameters block.
#pragma once

#include "host/globals.h"

// Runs the dialog. True when the user confirmed with OK (result word 0);
// false otherwise, with the result word set: -128 after Cancel or close (the
// parameters as they were when it opened), -30900 when the dialog could not
// be created (a host without the common controls' trackbar class).
bool DoParameterDialog(FilterGlobals* globals);
