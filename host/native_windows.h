// What the native stand-ins for windows record, for the tests.
#pragma once

#include "host/counted_string.h"

struct NativeAlertLog {
  int count = 0;
  int stringId = 0;
  CountedString text = {};
};
extern NativeAlertLog nativeAlerts;
