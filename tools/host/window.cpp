// The host's main window: never shown, but real, so that the plug-in's
// dialogs have an owner as they would in an editor.
#include <windows.h>
#include <commctrl.h>

#include "tools/host/host_internal.h"

namespace {

const char kWindowClass[] = "VardelkistHostWindow";

bool RegisterOnce() {
  static bool registered = false;
  if (registered) return true;
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = kWindowClass;
  registered = RegisterClassA(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  return registered;
}

// Editors register the common controls at start-up; the plug-in's dialog
// relies on the trackbar class being there.
void RegisterCommonControls() {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
}

}  // namespace

bool CreateHostWindow(HostInternals* internals, std::string* error) {
  RegisterCommonControls();
  if (!RegisterOnce()) {
    if (error != nullptr) *error = "cannot register the host window class (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  internals->window = CreateWindowExA(0, kWindowClass, "Vardelkist host", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                      CW_USEDEFAULT, 640, 480, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (internals->window == nullptr) {
    if (error != nullptr)
      *error = "cannot create the host window (error " + std::to_string(GetLastError()) +
               "); under wine an X display is needed (DISPLAY)";
    return false;
  }
  return true;
}

void DestroyHostWindow(HostInternals* internals) {
  if (internals->window != nullptr) DestroyWindow(internals->window);
  internals->window = nullptr;
}
