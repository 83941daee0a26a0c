// Loading a filter module as an editor does: its property list first, its
// code only when that declares a filter this host can run.
#include <windows.h>

#include "tools/vkhost/host_internal.h"

namespace {

constexpr uint32_t kLatestFilterVersion = 4u << 16;  // 4.0

bool Fail(std::string* error, const std::string& message) {
  if (error != nullptr) *error = message;
  return false;
}

std::string VersionText(uint32_t version) {
  return std::to_string(version >> 16) + "." + std::to_string(version & 0xFFFF);
}

// ReadModuleProperties has made sure of a filter kind and an entry name.
bool CheckVersion(const PluginProperties& properties, const char* path, std::string* error) {
  if (properties.version > kLatestFilterVersion)
    return Fail(error, std::string(path) + ": needs filter interface " + VersionText(properties.version) +
                           ", this host offers 4.0");
  return true;
}

}  // namespace

bool LoadPlugin(const char* path, HostPlugin* plugin, std::string* error) {
  *plugin = HostPlugin();
  std::string reason;
  if (!ReadModuleProperties(path, &plugin->properties, &reason)) return Fail(error, reason);
  if (!CheckVersion(plugin->properties, path, error)) return false;
  // No error boxes from the loader: a missing import is reported here instead.
  UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE module = LoadLibraryW(WidePath(path).c_str());
  DWORD loadError = GetLastError();
  SetErrorMode(oldMode);
  if (module == nullptr)
    return Fail(error, std::string("cannot load ") + path + ": " + ErrorWords(loadError));
  const std::string& entryName = HostEntryPoint(plugin->properties);
  FARPROC entry = GetProcAddress(module, entryName.c_str());
  if (entry == nullptr) {
    FreeLibrary(module);
    return Fail(error, std::string(path) + " does not export its entry point '" + entryName + "'");
  }
  plugin->module = module;
  plugin->entry = reinterpret_cast<PluginEntryProc>(reinterpret_cast<void*>(entry));
  plugin->path = path;
  return true;
}

void UnloadPlugin(HostPlugin* plugin) {
  if (plugin->module != nullptr) FreeLibrary(static_cast<HMODULE>(plugin->module));
  plugin->module = nullptr;
  plugin->entry = nullptr;
}
