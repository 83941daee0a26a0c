#include <cstring>

#include "host/plugin_entry.h"

int32_t HostApp = hostOther;
void* moduleInstance = nullptr;

int32_t DetectHost(const char* fileName) {
  struct KnownHost {
    const char* fileName;
    int32_t code;
  };
  static const KnownHost kKnownHosts[] = {
      {"Photoshp.exe", hostPhotoshop},
      {"AfterFX.exe", hostAfterEffects},
      {"premiere.exe", hostPremiere},
      {"Fireworks.exe", hostFireworks},
  };
  if (fileName == nullptr) return hostOther;
  for (const KnownHost& host : kKnownHosts) {
    if (std::strcmp(fileName, host.fileName) == 0) return host.code;
  }
  return hostOther;
}
