// A host process that never registered the common controls. Under Windows
// the trackbar class is then missing until someone calls
// InitCommonControlsEx. Wine registers every common control as soon as
// comctl32 is loaded (and loads it by itself when such a class is asked
// for), while its InitCommonControlsEx registers nothing. So for the session
// the host loads comctl32, takes the class away, and answers the plug-in's
// InitCommonControlsEx itself, registering the class again as Windows does.
#include <windows.h>
#include <commctrl.h>

#include "tools/vkhost/allocation_faults.h"
#include "tools/vkhost/host_internal.h"

namespace {

typedef BOOL(WINAPI* InitControlsProc)(const INITCOMMONCONTROLSEX*);

WNDCLASSEXW trackbar = {};
bool trackbarTaken = false;
InitControlsProc realInitControls = nullptr;

bool TrackbarRegistered() {
  WNDCLASSEXW seen = {};
  seen.cbSize = sizeof seen;
  return GetClassInfoExW(nullptr, TRACKBAR_CLASSW, &seen) != 0;
}

void RegisterTrackbar() {
  if (!trackbarTaken || TrackbarRegistered()) return;
  WNDCLASSEXW again = trackbar;
  again.lpszClassName = TRACKBAR_CLASSW;
  again.lpszMenuName = nullptr;
  RegisterClassExW(&again);
}

BOOL WINAPI StandInInitControls(const INITCOMMONCONTROLSEX* controls) {
  if (controls == nullptr || controls->dwSize != sizeof *controls) return FALSE;
  if (controls->dwICC & ICC_BAR_CLASSES) RegisterTrackbar();
  return TRUE;
}

}  // namespace

void HideCommonControls(HostSession* session) {
  if (!session->options.noCommonControls) return;
  LoadLibraryA("comctl32.dll");  // kept: wine would otherwise load it, and register all, on the first look-up
  trackbar = {};
  trackbar.cbSize = sizeof trackbar;
  if (GetClassInfoExW(nullptr, TRACKBAR_CLASSW, &trackbar) && UnregisterClassW(TRACKBAR_CLASSW, trackbar.hInstance))
    trackbarTaken = true;
  HMODULE module = nullptr;
  if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCSTR>(session->entry), &module)) {
    void* original = nullptr;
    // A plug-in that does not import it simply finds no trackbar.
    if (PatchImport(module, "comctl32.dll", "InitCommonControlsEx", reinterpret_cast<void*>(&StandInInitControls),
                    &original)) {
      realInitControls = reinterpret_cast<InitControlsProc>(original);
      session->internals->pluginModule = module;
    }
  }
}

void RestoreCommonControls(HostSession* session) {
  if (!session->options.noCommonControls) return;
  RegisterTrackbar();  // for whatever the process does next
  trackbarTaken = false;
  if (session->internals->pluginModule != nullptr && realInitControls != nullptr) {
    void* ignored = nullptr;
    PatchImport(session->internals->pluginModule, "comctl32.dll", "InitCommonControlsEx",
                reinterpret_cast<void*>(realInitControls), &ignored);
  }
  session->internals->pluginModule = nullptr;
  realInitControls = nullptr;
}
