// A test fixture holding the real plug-in, loaded once per test program the
// way a host loads it, and one host session per test.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "host/globals.h"
#include "tools/vkhost/host.h"

class PluginFixture : public ::testing::Test {
 protected:
  static void SetUpTestSuite();

  // Loads the module afresh, as a new host process would: nothing of earlier
  // tests' runs (such as the values last confirmed) is left in it. Call
  // before Open.
  static void LoadFreshPlugin();
  void TearDown() override;

  // Opens the session; fails the test when the plug-in could not be loaded.
  // Without a dialog hook of the test's own, every dialog is accepted with OK
  // as soon as it shows, as by a user who takes the values it offers.
  void Open(const HostOptions& options = HostOptions{});

  // Makes the document and begins a run on it.
  void Begin(int32_t width, int32_t height, const Rect& filterRect, int32_t colorPlanes = 3,
             bool hasAlpha = false, int32_t depth = 8);

  static HostPlugin plugin;
  static std::string loadError;
  HostSession* session = nullptr;
  HostImage image;
};

// Posts OK and a click to a dialog: a user accepting it, or closing a box.
void AcceptDialog(void* window, void* context);

// File name of the running test program, e.g. "Fireworks.exe".
std::string ExecutableName();
