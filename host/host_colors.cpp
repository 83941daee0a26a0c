#include "host/host_colors.h"

#include "host/eight_bit_colors.h"

#include "host/globals.h"

namespace {

PlotColor Scaled(const RGBColor& color, double scale) {
  return {color.red * scale, color.green * scale, color.blue * scale};
}

}  // namespace

void HostPlotColors(const FilterRecord* record, int32_t hostApp, PlotColor* foreground, PlotColor* background) {
  // Fireworks, and some hosts that embed a common host library, hand their
  // colours over as 8-bit values.
  const bool eightBit = hostApp == hostFireworks || ColorsAreEightBit(record);
  const double scale = eightBit ? 1.0 / 255.0 : 1.0 / 65535.0;
  *foreground = Scaled(record->foreground, scale);
  *background = Scaled(record->background, scale);
}
