#include "tests/wine/test_support.h"

#include <windows.h>

std::string ExecutableDirectory() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  if (length == 0 || length >= sizeof path) return ".";
  std::string directory(path, length);
  size_t slash = directory.find_last_of("\\/");
  return slash == std::string::npos ? std::string(".") : directory.substr(0, slash);
}

std::string PluginPath() { return ExecutableDirectory() + "\\Vardelkist.8bf"; }

std::string ScratchPath(const char* suffix) {
  static int counter = 0;
  return ExecutableDirectory() + "\\scratch_" + std::to_string(GetCurrentProcessId()) + "_" +
         std::to_string(++counter) + suffix;
}
