// The shift edit box's text, as the dialog reads it: at most seven
// characters and a NUL, whatever the user typed or pasted.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "ui/dialog_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const uint16_t current = static_cast<uint16_t>(data[0] | data[1] << 8);
  const ShiftEditEvent event = (data[2] & 1) != 0 ? ShiftEditEvent::LostFocus : ShiftEditEvent::Changed;
  data += 3;
  size -= 3;
  char text[kShiftTextBytes] = {0};
  const int copied = static_cast<int>(size < kShiftTextBytes - 1 ? size : kShiftTextBytes - 1);
  std::memcpy(text, data, static_cast<size_t>(copied));

  const int32_t parsed = ParseShiftText(text);
  // The box holds seven characters, so the number stays within them.
  if (parsed > 9999999 || parsed < -999999) std::abort();
  // Within digits, sign and leading blanks it is what atoi reads.
  bool plain = true;
  for (int i = 0; i < copied && text[i] != 0; ++i)
    if (!(text[i] >= '0' && text[i] <= '9') && !(i == 0 && (text[i] == '-' || text[i] == '+'))) plain = false;
  if (plain && parsed != std::atoi(text)) std::abort();

  uint16_t value = 0xBEEF;
  const bool changes = ShiftFromEdit(event, text, copied, current, &value);
  if (changes && value != static_cast<uint16_t>(parsed)) std::abort();
  if (event == ShiftEditEvent::LostFocus && !changes) std::abort();
  if (!changes && value != 0xBEEF) std::abort();
  return 0;
}
