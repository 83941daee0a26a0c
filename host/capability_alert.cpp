#include "host/capability_alert.h"

#include <cstring>

bool CheckAdvanceState(AdvanceStateProc advanceState, void* instance) {
  if (advanceState != nullptr) return true;
  // advanceState arrived with version 3.0 of the interface.
  CountedString version;
  FormatDecimal(&version, 3.0, 1);
  ShowStringAlert(instance, nullptr, kAdvanceStateAlertString, &version, nullptr);
  return false;
}

void BuildAlertText(const char* loaded, const CountedString* substitute1, const CountedString* substitute2,
                    CountedString* text) {
  EmptyCounted(text);
  if (loaded != nullptr) AppendCounted(text, loaded, 0, static_cast<int>(std::strlen(loaded)));
  SubstitutePlaceholders(text, nullptr, substitute1, substitute2);
}
