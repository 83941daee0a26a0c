#include <gtest/gtest.h>

#include "host/handles.h"

TEST(Handles, Placeholder) { EXPECT_FALSE(HandleProcsUsable(nullptr)); }
