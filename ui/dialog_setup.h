// Steps both dialogs take before and while they open, for hosts and systems
// that differ from the one the dialogs were made on.
#pragma once

#include <windows.h>

// Makes sure the common controls' trackbar class (the shift slider) is
// registered, registering the bar classes when the host has not. False when
// even that leaves it missing: the dialog cannot be made then.
bool EnsureTrackbarClass();

// Sets every caption and control text of template `templateId` that is not
// plain ASCII again through the wide calls. Created with DialogBoxParamA,
// the template's texts pass through the system's code page and become
// question marks outside code page 932; set wide, they read right on any.
void ShowTemplateTextsWide(HWND dialog, int templateId);
