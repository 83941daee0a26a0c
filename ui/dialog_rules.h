// The dialogs' rules that need no window: reading the shift edit box,
// choosing the radio button, and placing a dialog over its parent.
#pragma once

#include <cstdint>

// The edit box is read into 8 bytes: at most 7 characters.
constexpr int kShiftTextBytes = 8;

// The number at the start of `text` as atoi reads it: leading white space,
// an optional sign, decimal digits up to the first other character; 0
// without digits.
int32_t ParseShiftText(const char* text);

enum class ShiftEditEvent { Changed, LostFocus };

// Whether an edit-box notification changes the shift, and to what (`*value`,
// the number modulo 65536). While the user types (Changed), an empty box, a
// lone "-" and the current number itself change nothing; on leaving the box
// the text is always applied. `copied` is the number of characters read.
bool ShiftFromEdit(ShiftEditEvent event, const char* text, int copied, uint16_t current, uint16_t* value);

// The position of a radio group to check for `index`: the index itself when
// it names one of `count` buttons, otherwise the first; -1 for an empty group.
int RadioGroupSelection(int index, int count);

struct ScreenRect {
  int32_t left, top, right, bottom;
};

struct DialogPlacementInput {
  ScreenRect reference;     // the parent's client area, in screen coordinates
  int32_t width, height;    // the dialog's window size
  bool hasSystemMenu;       // WS_SYSMENU in the dialog's style
  int32_t captionButtonWidth;  // SM_CXSIZE
  int32_t screenWidth, screenHeight;
};

struct DialogPosition {
  int32_t x, y;
};

// Centred horizontally over the reference and moved left by the caption
// button's width (two thirds of it without a system menu); its top a third
// of the free height down. Only the right and bottom screen edges hold it.
DialogPosition PlaceDialogRect(const DialogPlacementInput& input);
