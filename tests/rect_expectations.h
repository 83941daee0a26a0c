// Rectangle checks shared by the unit tests and the tests under wine.
#pragma once

#include <gtest/gtest.h>

#include "host/host_api.h"

inline void ExpectRect(const Rect& rect, int top, int left, int bottom, int right) {
  EXPECT_EQ(rect.top, top);
  EXPECT_EQ(rect.left, left);
  EXPECT_EQ(rect.bottom, bottom);
  EXPECT_EQ(rect.right, right);
}

inline void ExpectEmpty(const Rect& rect) { ExpectRect(rect, 0, 0, 0, 0); }
