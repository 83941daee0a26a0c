// Positions a dialog window over its parent (or the desktop): centred
// horizontally, moved left by a caption button's width, a third of the free
// height down, pulled back only at the right and bottom screen edges.
#pragma once

#include <windows.h>

void PlaceDialog(HWND dialog);

// The host's window, the owner of our dialogs: the first word of the
// platform data the host passes. Null when the host passes none.
HWND HostWindow(const void* platformData);
