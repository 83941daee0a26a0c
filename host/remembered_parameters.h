// The parameters the user last confirmed in this process, for hosts that drop
// the parameters handle between runs (or never keep it): a run that has to
// make a new parameters block starts from them instead of the defaults.
// Kept in memory only, for as long as the module stays loaded.
#pragma once

#include "host/globals.h"

// Called when the user confirms the dialog and when a run has plotted.
void RememberParameters(const FilterParameters& values);

// The last confirmed values; the defaults (normal layout, shift 0) before any.
FilterParameters StartingParameters();

// Back to "nothing confirmed yet", as in a fresh process (for tests).
void ForgetRememberedParameters();
