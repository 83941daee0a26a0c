#include "ui/dialog_rules.h"

#include <cstring>

namespace {

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

int32_t AtLeastZero(int32_t value) { return value > 0 ? value : 0; }

}  // namespace

int32_t ParseShiftText(const char* text) {
  if (text == nullptr) return 0;
  while (IsSpace(*text)) ++text;
  const bool negative = *text == '-';
  if (*text == '-' || *text == '+') ++text;
  int64_t number = 0;
  // Seven characters hold at most 7 digits, far from overflow; the cap keeps
  // longer texts from other callers defined.
  for (; *text >= '0' && *text <= '9'; ++text) {
    if (number < 100000000000LL) number = number * 10 + (*text - '0');
  }
  if (negative) number = -number;
  if (number > INT32_MAX) return INT32_MAX;
  if (number < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(number);
}

bool ShiftFromEdit(ShiftEditEvent event, const char* text, int copied, uint16_t current, uint16_t* value) {
  const int32_t number = ParseShiftText(text);
  if (event == ShiftEditEvent::Changed) {
    if (copied <= 0 || std::strcmp(text, "-") == 0) return false;
    if (number == static_cast<int32_t>(current)) return false;
  }
  *value = static_cast<uint16_t>(static_cast<uint32_t>(number) & 0xFFFFu);
  return true;
}

int RadioGroupSelection(int index, int count) {
  if (count < 1) return -1;
  return index >= 0 && index < count ? index : 0;
}

DialogPosition PlaceDialogRect(const DialogPlacementInput& input) {
  int32_t shiftLeft = input.captionButtonWidth;
  if (!input.hasSystemMenu) shiftLeft -= shiftLeft / 3;
  const ScreenRect& reference = input.reference;
  DialogPosition position;
  position.x = reference.left + AtLeastZero(reference.right - reference.left - input.width) / 2 - shiftLeft;
  if (position.x + input.width > input.screenWidth) position.x = AtLeastZero(input.screenWidth - input.width);
  position.y = reference.top + AtLeastZero(reference.bottom - reference.top - input.height) / 3;
  if (position.y + input.height > input.screenHeight) position.y = AtLeastZero(input.screenHeight - input.height);
  return position;
}
