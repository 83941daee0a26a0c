#include <windows.h>

#include "host/capability_alert.h"

int ShowStringAlert(void* instance, void* owner, int stringId, const CountedString* substitute1,
                    const CountedString* substitute2) {
  char loaded[255] = {0};
  if (stringId > 0 && LoadStringA(static_cast<HINSTANCE>(instance), static_cast<UINT>(stringId), loaded,
                                  sizeof loaded) <= 0) {
    loaded[0] = '\0';
  }
  CountedString text;
  BuildAlertText(loaded, substitute1, substitute2, &text);
  return MessageBoxA(static_cast<HWND>(owner), CountedText(text), nullptr, MB_ICONWARNING);
}
