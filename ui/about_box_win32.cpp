#include <windows.h>

#include "host/plugin_entry.h"
#include "resources/version.h"
#include "ui/about_box.h"
#include "ui/dialog_ids.h"
#include "ui/dialog_setup.h"
#include "ui/place_dialog.h"

namespace {

constexpr int kAboutTemplate = ABOUT_DIALOG_ID;
constexpr int kAboutTextControl = ABOUT_TEXT_CONTROL;

const char kAboutText[] =
    "Vardelkist\n"
    "\n"
    VARDELKIST_VERSION_TEXT "\n"
    "\n"
    "Copyright (C) 2026 FalmetPlug\n"
    "\n"
    "Plot Prime Number";

// UpdateWindow inside WM_PAINT sends WM_PAINT again while the update region
// is still set; answer that nested one without recursing further.
bool aboutPainting = false;

INT_PTR CALLBACK AboutDialogProc(HWND box, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  switch (message) {
    case WM_INITDIALOG:
      ShowTemplateTextsWide(box, kAboutTemplate);
      SetDlgItemTextA(box, kAboutTextControl, kAboutText);
      PlaceDialog(box);
      return TRUE;
    case WM_PAINT:
      if (!aboutPainting) {
        aboutPainting = true;
        UpdateWindow(box);
        aboutPainting = false;
      }
      return FALSE;
    case WM_CLOSE:
    case WM_LBUTTONDOWN:
      EndDialog(box, LOWORD(wParam));
      return TRUE;
    case WM_COMMAND:
      return TRUE;  // Enter and Esc leave the box open: only a click closes it
    default:
      return FALSE;
  }
}

}  // namespace

intptr_t DoAboutBox(const AboutRecord* about) {
  const void* platformData = about != nullptr ? about->platformData : nullptr;
  return DialogBoxParamA(static_cast<HINSTANCE>(moduleInstance), MAKEINTRESOURCEA(kAboutTemplate),
                         HostWindow(platformData), AboutDialogProc, 0);
}
