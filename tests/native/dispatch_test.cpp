#include <gtest/gtest.h>

#include "host/plugin_entry.h"

TEST(DetectHost, Placeholder) { EXPECT_EQ(DetectHost("Photoshp.exe"), hostPhotoshop); }
