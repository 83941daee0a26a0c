#include "host/eight_bit_colors.h"

namespace {

bool MatchesBytes(const RGBColor& color, const unsigned char bytes[4]) {
  return color.red == bytes[0] && color.green == bytes[1] && color.blue == bytes[2];
}

bool IsBlack(const RGBColor& color) { return color.red == 0 && color.green == 0 && color.blue == 0; }

}  // namespace

bool ColorsAreEightBit(const FilterRecord* record) {
  if (record == nullptr) return false;
  const RGBColor foreground = record->foreground;
  const RGBColor background = record->background;
  if (!MatchesBytes(foreground, record->foreColor) || !MatchesBytes(background, record->backColor)) return false;
  return !IsBlack(foreground) || !IsBlack(background);
}
