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
  SetWindowPos(dialog, nullptr, position.x, position.y, input.width, input.height, SWP_NOZORDER);
}

HWND HostWindow(const void* platformData) {
  if (platformData == nullptr) return nullptr;
  return reinterpret_cast<HWND>(static_cast<const PlatformData*>(platformData)->hwnd);
}
