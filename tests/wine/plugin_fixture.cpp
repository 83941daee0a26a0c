#include "tests/wine/plugin_fixture.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tests/wine/test_support.h"

HostPlugin PluginFixture::plugin;
std::string PluginFixture::loadError;

void PluginFixture::SetUpTestSuite() {
  if (plugin.entry == nullptr) LoadPlugin(PluginPath().c_str(), &plugin, &loadError);
}

void PluginFixture::LoadFreshPlugin() {
  UnloadPlugin(&plugin);
  plugin = HostPlugin();
  LoadPlugin(PluginPath().c_str(), &plugin, &loadError);
}

void PluginFixture::TearDown() {
  if (session == nullptr) return;
  if (session->record != nullptr) EndRun(session);
  CloseSession(session);
  session = nullptr;
}

void AcceptDialog(void* window, void* /*context*/) {
  // OK ends the parameter dialog and a message box; the about box wants a click.
  PostMessageA(static_cast<HWND>(window), WM_COMMAND, IDOK, 0);
  PostMessageA(static_cast<HWND>(window), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
}

void PluginFixture::Open(const HostOptions& options) {
  ASSERT_NE(plugin.entry, nullptr) << loadError;
  std::string error;
  HostOptions withUser = options;
  if (withUser.dialogHook == nullptr) withUser.dialogHook = AcceptDialog;
  session = OpenSession(plugin.entry, withUser, &error);
  if (session == nullptr) {
    // Only the machine stops a session opening (no display, no memory); every
    // later step of every test would then run against no session at all.
    std::fprintf(stderr, "cannot open a host session: %s\n", error.c_str());
    std::exit(1);
  }
}

void PluginFixture::Begin(int32_t width, int32_t height, const Rect& filterRect, int32_t colorPlanes,
                          bool hasAlpha, int32_t depth) {
  ASSERT_TRUE(MakeImage(&image, width, height, colorPlanes, hasAlpha, depth));
  FillGradient(&image);
  std::string error;
  ASSERT_TRUE(BeginRun(session, &image, filterRect, &error)) << error;
}

std::string ExecutableName() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string full(path, length);
  size_t slash = full.find_last_of('\\');
  return slash == std::string::npos ? full : full.substr(slash + 1);
}
