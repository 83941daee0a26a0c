// Driving the plug-in's dialogs from inside our host as a user would: a test
// gives a script that runs when the dialog shows, types, clicks and drags
// there, notes what the controls show, and ends the dialog.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "tools/vkhost/host.h"
#include "ui/dialog_ids.h"

// The parameter dialog's controls.
enum : int {
  kPreviewControl = PREVIEW_CONTROL,
  kShiftLabel = SHIFT_LABEL,
  kShiftEdit = SHIFT_EDIT,
  kShiftSlider = SHIFT_SLIDER,
  kSpiralButton = SPIRAL_BUTTON,
  kNormalButton = NORMAL_BUTTON,
  kLayoutLabel = LAYOUT_LABEL,
};

typedef std::function<void(HWND dialog)> DialogScript;

// Installs `script` as the session options' dialog hook; it runs once, for
// the first dialog that shows (later ones are accepted).
void DriveDialogs(HostOptions* options, DialogScript* script);

void TypeInto(HWND dialog, int id, const char* text);    // one character at a time, the focus in the box
void PasteInto(HWND dialog, int id, const char* text);   // the whole text at once over the selection
void Focus(HWND dialog, int id);                         // moves the focus, as a click or Tab does
void Click(HWND dialog, int id);                         // a real button click
void PressKey(HWND dialog, UINT key);                    // posted to the focused control, as typed
void PressClose(HWND dialog);                            // the title bar's close box
void DragSlider(HWND dialog, int id, int toX);           // grabs the thumb and moves it to client x `toX`
HWND ShowPreview(HWND dialog);                           // enables and shows the preview the template hides
// Drags the preview by (dx, dy) from client point (8, 8), painting on the
// way, and releases it: the release queues a recompute.
void DragPreview(HWND dialog, int dx, int dy);

std::string TextOf(HWND dialog, int id);                 // ANSI text of a control (the code page's bytes)
std::wstring WideTextOf(HWND dialog, int id);
int SliderPosition(HWND dialog);
bool IsChecked(HWND dialog, int id);
bool CaretAtEnd(HWND dialog, int id);                    // nothing selected, the caret after the last character
