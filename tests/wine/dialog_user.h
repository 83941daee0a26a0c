// A user at the plug-in's parameter dialog, for the host's dialog hook:
// notes what the dialog shows, may choose the spiral and type a shift, then
// presses OK. The dialog is activated while it is being set up, so the user
// acts from a timer, once the dialog runs its message loop.
#pragma once

#include <windows.h>

#include <string>

#include "ui/dialog_ids.h"

constexpr int kShiftEdit = SHIFT_EDIT, kSpiralButton = SPIRAL_BUTTON;

struct DialogUser {
  bool chooseSpiral = false;
  const char* typeShift = nullptr;
  int shows = 0;       // activations
  bool acted = false;  // the dialog was there to use
  bool spiralShown = false;
  std::string shiftShown;
};

inline DialogUser* dialogUser = nullptr;

inline void CALLBACK ActAsUser(HWND dialog, UINT, UINT_PTR timer, DWORD) {
  KillTimer(dialog, timer);
  DialogUser* user = dialogUser;
  user->acted = true;
  user->spiralShown = IsDlgButtonChecked(dialog, kSpiralButton) == BST_CHECKED;
  char text[16] = {0};
  GetDlgItemTextA(dialog, kShiftEdit, text, sizeof text);
  user->shiftShown = text;
  if (user->chooseSpiral) SendDlgItemMessageA(dialog, kSpiralButton, BM_CLICK, 0, 0);
  if (user->typeShift != nullptr) SetDlgItemTextA(dialog, kShiftEdit, user->typeShift);
  PostMessageA(dialog, WM_COMMAND, IDOK, 0);
}

// HostOptions::dialogHook, with the DialogUser as its context. Other boxes
// (the about box, a message box) are dismissed.
inline void UseDialog(void* window, void* context) {
  HWND dialog = static_cast<HWND>(window);
  if (GetDlgItem(dialog, kShiftEdit) == nullptr) {
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    PostMessageA(dialog, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    return;
  }
  dialogUser = static_cast<DialogUser*>(context);
  if (dialogUser->shows++ == 0) SetTimer(dialog, 1, 10, ActAsUser);
}
