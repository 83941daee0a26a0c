// The filter cannot work without the host's advanceState callback.
#pragma once

#include "host/host_api.h"

// True when the host offers advanceState; false (after warning the user, once
// the warning box exists) when it does not.
bool CheckAdvanceState(AdvanceStateProc advanceState, void* instance);
