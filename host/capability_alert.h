// The filter cannot work without the host's advanceState callback; a host
// that lacks it gets a warning box instead of a run.
#pragma once

#include "host/counted_string.h"
#include "host/host_api.h"

// String resource with the warning text; ^1 stands for the interface version.
constexpr int kAdvanceStateAlertString = 16992;

// True when the host offers advanceState; otherwise warns the user and
// returns false.
bool CheckAdvanceState(AdvanceStateProc advanceState, void* instance);

// Loads string `stringId` of the module (empty when absent or not positive),
// substitutes ^1 and ^2 (either may be null) and shows it in a warning box
// owned by `owner`. Returns the box's result.
int ShowStringAlert(void* instance, void* owner, int stringId, const CountedString* substitute1,
                    const CountedString* substitute2);

// The text ShowStringAlert shows, without the box.
void BuildAlertText(const char* loaded, const CountedString* substitute1, const CountedString* substitute2,
                    CountedString* text);
