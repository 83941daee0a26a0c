// The preview control of the parameter dialog: subclassed to paint the
// composed preview through the host, to scroll by dragging, and to ask the
// dialog for a recompute when a drag ends. Windows only.
#pragma once

#include <windows.h>

#include <cstdint>

#include "host/globals.h"

// Private messages between the preview control and the dialog.
constexpr UINT WM_PREVIEW_INIT = WM_APP + 1;       // to the control: lParam is the globals record
// Posted to the dialog when a drag starts and ahead of every request the
// dialog puts off during a composition. Nothing of ours acts on it: the
// dialog ignores it, and a running computation stops only when the host's
// abortProc says so (a host that looks at the queue may find it there).
constexpr UINT WM_PREVIEW_ABORT = WM_APP + 100;
constexpr UINT WM_PREVIEW_REFRESH = WM_APP + 101;  // to the dialog: wParam is the recompute flag

// 1 while a preview composition runs, 0 otherwise. A composition may run the
// engine, whose host callbacks can dispatch messages to the dialog; the
// dialog defers ending and refreshing until the flag drops.
extern int32_t previewBusy;

// The control's window rectangle in the dialog's client coordinates.
void GetPreviewRect(HWND dialog, int controlId, Rect* rect);

// Installs PreviewWndProc on the control and hands it the globals.
void SubclassPreview(HWND dialog, int controlId, WPARAM wParam, LPARAM lParam);

// Composes (recomputing when asked) and invalidates the control; the paint
// follows through WM_PAINT. Busy for its whole length, nested calls included.
// Returns the composition's result (the engine's, when it ran).
OSErr RefreshPreview(HWND control, FilterGlobals* globals, WPARAM recompute);

// Posts WM_PREVIEW_REFRESH with `flag` to `window`, retrying until it is queued.
void PostRefreshRequest(HWND window, WPARAM flag);

// Posts WM_PREVIEW_ABORT to the dialog, retrying until it is queued.
void PostAbortRequest(HWND dialog);

// Hands the composed preview to the host's displayPixels in WM_PAINT.
void PaintPreview(HWND control, const FilterGlobals* globals);

LRESULT CALLBACK PreviewWndProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam);
