// Native builds have no message boxes: the alert's text is kept for the
// tests to read.
#include "host/capability_alert.h"
#include "host/native_windows.h"

NativeAlertLog nativeAlerts;

int ShowStringAlert(void* /*instance*/, void* /*owner*/, int stringId, const CountedString* substitute1,
                    const CountedString* substitute2) {
  ++nativeAlerts.count;
  nativeAlerts.stringId = stringId;
  // No string resources natively: the text is the substitutes alone.
  BuildAlertText("", substitute1, substitute2, &nativeAlerts.text);
  return 1;
}
