#pragma once

#include "host/globals.h"

// Runs the modal parameter dialog. True when the user confirmed; false when
// the dialog ended otherwise, with the result word set.
bool DoParameterDialog(FilterGlobals* globals);
