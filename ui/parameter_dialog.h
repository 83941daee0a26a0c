// The modal parameter dialog: layout (two radio buttons) and shift (slider
// and edit box), edited in place in the parameters block.
#pragma once

#include "host/globals.h"

// Runs the dialog. noErr when the user confirmed with OK; otherwise -128
// after Cancel or close (the parameters as they were when it opened), -30900
// when the dialog could not be created (the common controls' trackbar class
// missing even after registering it), or a failure that stood when the
// dialog was destroyed from outside. While it runs, the host's result word
// follows the dialog.
OSErr DoParameterDialog(FilterGlobals* globals);
