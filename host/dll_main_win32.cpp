#include <windows.h>

#include <cstring>

#include "host/plugin_entry.h"

namespace {

int32_t IdentifyHost() {
  char path[256];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  if (length == 0) return hostOther;
  if (length >= sizeof path) length = sizeof path - 1;  // truncated paths on old systems
  path[length] = '\0';
  const char* slash = std::strrchr(path, '\\');
  return DetectHost(slash != nullptr ? slash + 1 : path);
}

}  // namespace

extern "C" BOOL WINAPI DLLMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) moduleInstance = instance;
  // Every thread notification comes here, on that thread, while runs may go
  // on elsewhere: one store of the (unchanging) value, never a passing other.
  HostApp = IdentifyHost();
  return TRUE;
}

// The name the C runtime's start-up code calls.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  return DLLMain(instance, reason, reserved);
}
