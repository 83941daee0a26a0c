// Recognising hosts that put 8-bit colours into the 16-bit colour fields.
#include <gtest/gtest.h>

#include <cstring>

#include "host/eight_bit_colors.h"
#include "host/globals.h"
#include "host/host_colors.h"

namespace {

FilterRecord WithColors(RGBColor foreground, RGBColor background, const unsigned char (&foreBytes)[3],
                        const unsigned char (&backBytes)[3]) {
  FilterRecord record;
  std::memset(&record, 0, sizeof record);
  record.foreground = foreground;
  record.background = background;
  std::memcpy(record.foreColor, foreBytes, 3);
  std::memcpy(record.backColor, backBytes, 3);
  return record;
}

// The bytes a host following the API shows for a 16-bit component.
unsigned char Rounded(uint16_t v) { return static_cast<unsigned char>((v + 128) / 257); }
unsigned char Truncated(uint16_t v) { return static_cast<unsigned char>(v >> 8); }

}  // namespace

TEST(ColorsAreEightBit, RecognisesBytesInTheSixteenBitFields) {
  FilterRecord record = WithColors({255, 255, 255}, {0, 0, 0}, {255, 255, 255}, {0, 0, 0});
  EXPECT_TRUE(ColorsAreEightBit(&record));
  record = WithColors({0, 0, 0}, {0, 0, 1}, {0, 0, 0}, {0, 0, 1});  // one non-zero component is enough
  EXPECT_TRUE(ColorsAreEightBit(&record));
  record = WithColors({255, 128, 0}, {0, 51, 200}, {255, 128, 0}, {0, 51, 200});
  EXPECT_TRUE(ColorsAreEightBit(&record));
  record.backColor[2] = 201;  // any one of the six differs
  EXPECT_FALSE(ColorsAreEightBit(&record));
  record.backColor[2] = 200;
  record.foreground.green = 129;
  EXPECT_FALSE(ColorsAreEightBit(&record));
  record = WithColors({0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0});  // black on black: the API's scale
  EXPECT_FALSE(ColorsAreEightBit(&record));
  EXPECT_FALSE(ColorsAreEightBit(nullptr));
}

// Every 16-bit value a correct host may send, in any component of either
// colour, with its byte rounded or truncated: never taken for 8-bit.
TEST(ColorsAreEightBit, NeverMatchesAHostThatFollowsTheApi) {
  for (uint32_t v = 0; v <= 65535; ++v) {
    const uint16_t c = static_cast<uint16_t>(v);
    for (unsigned char (*byte)(uint16_t) : {Rounded, Truncated}) {
      const unsigned char b = byte(c);
      FilterRecord red = WithColors({c, 0, 0}, {0, 0, 0}, {b, 0, 0}, {0, 0, 0});
      FilterRecord blueBack = WithColors({0, 0, 0}, {0, 0, c}, {0, 0, 0}, {0, 0, b});
      FilterRecord gray = WithColors({c, c, c}, {65535, 65535, 65535}, {b, b, b}, {255, 255, 255});
      ASSERT_FALSE(ColorsAreEightBit(&red)) << v;
      ASSERT_FALSE(ColorsAreEightBit(&blueBack)) << v;
      ASSERT_FALSE(ColorsAreEightBit(&gray)) << v;
    }
  }
}

TEST(HostPlotColors, EightBitColorsInTheSixteenBitFieldsAreScaledAsBytes) {
  FilterRecord record = WithColors({255, 128, 0}, {0, 51, 200}, {255, 128, 0}, {0, 51, 200});
  PlotColor foreground, background;
  HostPlotColors(&record, hostOther, &foreground, &background);
  EXPECT_EQ(foreground.red, 1.0);
  EXPECT_EQ(foreground.green, 128 / 255.0);
  EXPECT_EQ(background.blue, 200 / 255.0);
  // Near black from a host that follows the API stays near black.
  record = WithColors({200, 0, 0}, {0, 0, 100}, {1, 0, 0}, {0, 0, 0});
  HostPlotColors(&record, hostOther, &foreground, &background);
  EXPECT_EQ(foreground.red, 200 / 65535.0);
  EXPECT_EQ(background.blue, 100 / 65535.0);
}
