// Our host loading modules: the real plug-in, and modules it must refuse.
#include <gtest/gtest.h>
#include <windows.h>

#include "tests/wine/test_support.h"
#include "tools/vkhost/host.h"

TEST(HostLoader, LoadsTheRealPlugInThroughItsPropertyList) {
  HostPlugin plugin;
  std::string error;
  ASSERT_TRUE(LoadPlugin(PluginPath().c_str(), &plugin, &error)) << error;
  EXPECT_EQ(plugin.properties.kind, kFilterKind);
  EXPECT_EQ(HostEntryPoint(plugin.properties), "PluginMain");
  EXPECT_NE(plugin.entry, nullptr);
  UnloadPlugin(&plugin);
  EXPECT_EQ(plugin.module, nullptr);
}

TEST(HostLoader, AMissingFileIsRefusedWithAMessage) {
  HostPlugin plugin;
  std::string error;
  EXPECT_FALSE(LoadPlugin("Z:\\no\\such\\plugin.8bf", &plugin, &error));
  EXPECT_NE(error.find("plugin.8bf"), std::string::npos) << error;
  EXPECT_EQ(plugin.entry, nullptr);
}

// A module without a property list is never run: this very test program.
TEST(HostLoader, AModuleWithoutAPropertyListIsNotLoaded) {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, sizeof self);
  HostPlugin plugin;
  std::string error;
  EXPECT_FALSE(LoadPlugin(self, &plugin, &error));
  EXPECT_NE(error.find("PIPL"), std::string::npos) << error;
  EXPECT_EQ(plugin.module, nullptr);
}

// A host meets the other word size's file when a user copies the wrong one:
// it is turned away from its property list, with a reason, before loading.
TEST(HostLoader, TheOtherWordSizesPlugInIsRefusedWithAReason) {
  const std::string other = OtherWordSizePluginPath();
  if (other.empty()) GTEST_SKIP() << "VARDELKIST_OTHER_PLUGIN not given";
  HostPlugin plugin;
  std::string error;
  EXPECT_FALSE(LoadPlugin(other.c_str(), &plugin, &error));
  const char* expected = sizeof(void*) == 8 ? "it is a 32-bit plug-in" : "it is a 64-bit plug-in";
  EXPECT_NE(error.find(expected), std::string::npos) << error;
  EXPECT_EQ(plugin.module, nullptr);
}
