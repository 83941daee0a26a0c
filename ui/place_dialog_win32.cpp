#include "ui/place_dialog.h"

#include "host/host_api.h"
#include "ui/dialog_rules.h"

void PlaceDialog(HWND dialog) {
  HWND reference = GetParent(dialog);
  if (reference == nullptr) reference = GetDesktopWindow();
  RECT client;
  GetClientRect(reference, &client);
  POINT topLeft = {client.left, client.top};
  POINT bottomRight = {client.right, client.bottom};
  ClientToScreen(reference, &topLeft);
  ClientToScreen(reference, &bottomRight);
  RECT window;
  GetWindowRect(dialog, &window);

  DialogPlacementInput input;
  input.reference = {topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
  input.width = window.right - window.left;
  input.height = window.bottom - window.top;
  input.hasSystemMenu = (GetWindowLongA(dialog, GWL_STYLE) & WS_SYSMENU) != 0;
  input.captionButtonWidth = GetSystemMetrics(SM_CXSIZE);
  input.screenWidth = GetSystemMetrics(SM_CXSCREEN);
  input.screenHeight = GetSystemMetrics(SM_CYSCREEN);
  const DialogPosition position = PlaceDialogRect(input);
  // Not activated here: the dialog is still hidden, and the dialog manager
  // activates it when it shows it.
  SetWindowPos(dialog, nullptr, position.x, position.y, input.width, input.height, SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND HostWindow(const void* platformData) {
  if (platformData == nullptr) return nullptr;
  HWND window = reinterpret_cast<HWND>(static_cast<const PlatformData*>(platformData)->hwnd);
  // A handle that names no window (a document closed meanwhile) would stop
  // the dialog from being made at all; without an owner it still opens.
  return window != nullptr && IsWindow(window) ? window : nullptr;
}
